# The layering of src/, in one table: each row is a library folder and the folders directly below it. A
# folder may include the headers of its own folder and of every folder below it, and nothing else.
#
# Two things hold the code to the table:
#   - the build: each library sees only an include root of its own (a link named after its folder, made in
#     the build folder), passed on to whatever links it, so an include of a folder the library does not
#     link does not compile; the generated headers stay visible to all;
#   - the layering check (ctest -L layering): reads every `#include "<folder>/…"` under src/ against this
#     table and names the file and line of each that crosses it, whether the build would have caught it
#     or not.
#
# brelta_layer(<folder> [USES <folder> ...])
#   <folder>  a folder under src/, built as the library brelta_<folder> (a "/" becomes "_": recording/web is
#             brelta_recording_web, a library of its own inside recording/)
#   USES      the folders directly below it, each declared on an earlier row
# A row for a folder that does not exist yet costs nothing. Rows without a "/" are the subsystems, added to
# the build in the table's order.

brelta_layer(platform)
brelta_layer(platform/desktop USES platform)
brelta_layer(backend USES platform)
brelta_layer(analytics USES platform)
brelta_layer(designsystem USES platform)
brelta_layer(recording USES backend analytics designsystem)
brelta_layer(recording/web USES recording)
# The local backend is a program of its own, over the platform layer only.
brelta_layer(devserver USES platform)
brelta_layer(calendar USES recording)
brelta_layer(messages USES recording)
brelta_layer(screens USES recording)
brelta_layer(shell USES calendar messages screens recording/web platform/desktop)

# Compiled-in facts about this build: version, bundle identifier, environment and the hosts a
# deployment talks to. Other folders add their own cache variables and fill generated headers the same way.
set(BRELTA_BUNDLE_IDENTIFIER "com.brelta.desktop" CACHE STRING "Bundle identifier (keyring service prefix, paths)")
set(BRELTA_ENVIRONMENT "production" CACHE STRING "Build environment: development, production or internal")
set_property(CACHE BRELTA_ENVIRONMENT PROPERTY STRINGS development production internal)
# Shown after the version, "1.4.0 (52)". Until builds are numbered, the patch number stands in.
set(BRELTA_BUILD_NUMBER "" CACHE STRING "Build number (empty: the project's patch number)")
if(BRELTA_BUILD_NUMBER STREQUAL "")
    set(BRELTA_EFFECTIVE_BUILD_NUMBER "${PROJECT_VERSION_PATCH}")
else()
    set(BRELTA_EFFECTIVE_BUILD_NUMBER "${BRELTA_BUILD_NUMBER}")
endif()

configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildInfo.h.in" "${PROJECT_BINARY_DIR}/generated/platform/BuildInfo.h" @ONLY)

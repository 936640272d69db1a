# Checks of the tree itself, run by ctest beside the tests: the layering of src/ (label layering) and the
# formatting of every C++ file (label style). Each has a self-test that shows it fails on a fixture that
# breaks its rule.
set(_brelta_checks "${PROJECT_SOURCE_DIR}/scripts/checks")

brelta_layering_rules(_brelta_layering_rules)
add_test(NAME check_layering COMMAND "${_brelta_checks}/layering" "${PROJECT_SOURCE_DIR}/src" ${_brelta_layering_rules})
add_test(NAME check_layering_selftest COMMAND "${_brelta_checks}/selftest" layering)
# The tree check reads every include under src/; beside a full parallel test run it has taken two minutes.
set_tests_properties(check_layering check_layering_selftest PROPERTIES LABELS layering TIMEOUT 300)

find_program(BRELTA_CLANG_FORMAT clang-format)
if(NOT BRELTA_CLANG_FORMAT)
    message(WARNING "clang-format is missing (scripts/setup-deps installs it): the style check will fail.")
endif()
add_test(NAME check_format COMMAND "${_brelta_checks}/format" "${PROJECT_SOURCE_DIR}")
add_test(NAME check_format_selftest COMMAND "${_brelta_checks}/selftest" format)
set_tests_properties(check_format check_format_selftest PROPERTIES LABELS style TIMEOUT 120)

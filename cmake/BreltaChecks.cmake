# Checks of the tree itself, run by ctest beside the tests: the layering of src/ (label layering). Each has a
# self-test that shows it fails on a fixture that breaks its rule.
set(_brelta_checks "${PROJECT_SOURCE_DIR}/scripts/checks")

brelta_layering_rules(_brelta_layering_rules)
add_test(NAME check_layering COMMAND "${_brelta_checks}/layering" "${PROJECT_SOURCE_DIR}/src" ${_brelta_layering_rules})
add_test(NAME check_layering_selftest COMMAND "${_brelta_checks}/selftest" layering)
set_tests_properties(check_layering check_layering_selftest PROPERTIES LABELS layering TIMEOUT 60)

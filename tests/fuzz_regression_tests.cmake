# SPDX-License-Identifier: MIT
# Regression cases for the findings of the fuzz targets in fuzz/: each one
# also stays in the fuzz target's corpus.
ostrel_add_test(fuzz_regression_test fuzz_regression_test.cpp)
target_link_libraries(fuzz_regression_test PRIVATE ostrel_installer_steps)

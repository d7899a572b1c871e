# The hardening tests: faults a user's machine really has (a full disk, a folder
# gone, files replaced or locked), hostile RTF and unusual names, all through the
# windows. Included from tests/CMakeLists.txt after sitebook_add_test is defined.

qt_add_library(sitebook_hardening STATIC hardening.cpp hardening.h)
target_link_libraries(sitebook_hardening PUBLIC sitebook_windows sitebook_testsupport Qt6::Test)

foreach(name tst_faults tst_hostile tst_names)
    sitebook_add_test(${name} ${name}.cpp)
    target_link_libraries(${name} PRIVATE sitebook_hardening)
endforeach()
# The fault tests mount, fill and lock file systems; run them one at a time, as root.
set_tests_properties(tst_faults tst_hostile PROPERTIES RUN_SERIAL TRUE)

# Under the sanitizers every test of this folder stops at the first report and checks
# for leaks at exit; the only leaks passed over are the system's own, listed and
# explained in lsan.supp. Deferred, so that tests added after this file get it too.
if(SITEBOOK_SANITIZE)
    function(sitebook_sanitizer_environment)
        get_property(tests DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" PROPERTY TESTS)
        set(supp "${CMAKE_CURRENT_SOURCE_DIR}/lsan.supp")
        foreach(test IN LISTS tests)
            set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
                "ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:print_suppressions=0"
                "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:report_error_type=1"
                "LSAN_OPTIONS=suppressions=${supp}:print_suppressions=0:report_objects=0")
        endforeach()
    endfunction()
    cmake_language(DEFER CALL sitebook_sanitizer_environment)
endif()

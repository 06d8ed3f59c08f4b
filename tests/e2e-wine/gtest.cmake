# gtest.cmake: GoogleTest for the Windows tree, built from Debian's source
# package by the cross compiler, under the names that find_package(GTest)
# gives the host tree. Test programs are not run here: the host tree runs
# them under Wine (tests/e2e-wine), so discovery is a no-op.
set(QOX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, for the Windows tree")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QOX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The cross compiler's win32 thread model has no std::mutex, which
# GoogleTest needs: gtest_threads.h supplies it. Static throughout, so the
# programs run under Wine with no runtime DLL.
target_compile_options(gtest PUBLIC -include ${CMAKE_CURRENT_LIST_DIR}/gtest_threads.h)
target_link_options(gtest INTERFACE -static)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
function(gtest_discover_tests)
endfunction()

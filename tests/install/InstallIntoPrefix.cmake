# cmake -DBUILD_DIR=... -DPREFIX=... -P InstallIntoPrefix.cmake: a fresh
# install of the build tree, so that nothing of an earlier one hides a
# missing rule.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install into ${PREFIX} failed (${status})")
endif()

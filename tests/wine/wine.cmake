# Windows test programs run under Wine, in a prefix of their own under the
# build folder that the wine_setup fixture creates anew for every test run
# (DISC_KEEP_WINEPREFIX=1 keeps an existing one while developing), with Xvfb
# started when there is no display.
set(WINE_DIR ${CMAKE_BINARY_DIR}/wine)

add_test(NAME wine_setup COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine-setup.sh ${WINE_DIR})
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine_cleanup COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine-cleanup.sh ${WINE_DIR})
set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine)

function(add_wine_test name target)
  add_test(NAME ${name} COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/wine-run.sh ${WINE_DIR}
                                $<TARGET_FILE:${target}> ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
endfunction()

# Runs the current directory's tests under Wine in one fresh prefix under the build
# directory, without a display: Wine's null graphics driver gives windows nobody sees.
set(LUMATEXT_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-unit CACHE INTERNAL "Wine prefix of the tests")

function(lumatext_tests_under_wine)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      WINEPREFIX=${LUMATEXT_WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
    if(NOT test MATCHES "^wine\\.")
      set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine)
    endif()
  endforeach()
endfunction()

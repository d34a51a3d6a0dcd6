# Runs the current directory's tests under Wine in one fresh prefix under the build
# directory, without a display: Wine's null graphics driver gives windows nobody sees.
# The 32-bit build's prefix is a 32-bit Windows 7.
set(LUMATEXT_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-unit CACHE INTERNAL "Wine prefix of the tests")

function(lumatext_tests_under_wine)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      WINEPREFIX=${LUMATEXT_WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
    # A 32-bit build runs in a 32-bit prefix: a 32-bit Windows, as on the PCs it is for.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT WINEARCH=win32)
    endif()
    if(NOT test MATCHES "^wine\\.")
      set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine)
    endif()
  endforeach()
endfunction()

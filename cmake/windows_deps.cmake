# Header-only libraries for the Windows cross build. Debian packages them for the
# host only; their headers are plain C++, but adding /usr/include itself would put
# the host's C library in front of MinGW's. So each one's folder is linked into a
# build-local include directory of its own.
set(VELQUOR_HOST_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${VELQUOR_HOST_HEADERS})
foreach(entry CLI nlohmann asio asio.hpp)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/build-windows.sh, which installs it")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${VELQUOR_HOST_HEADERS}/${entry} SYMBOLIC)
endforeach()

add_library(velquor_host_headers INTERFACE)
# SYSTEM: their own warnings are not ours to fix.
target_include_directories(velquor_host_headers SYSTEM INTERFACE ${VELQUOR_HOST_HEADERS})
add_library(CLI11::CLI11 ALIAS velquor_host_headers)
add_library(nlohmann_json::nlohmann_json ALIAS velquor_host_headers)
add_library(velquor_asio INTERFACE)
target_link_libraries(velquor_asio INTERFACE velquor_host_headers ws2_32 mswsock)

# GoogleTest from its Debian sources, built with the cross compiler.
if(VELQUOR_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Newer GoogleTest sources name their targets so themselves.
  foreach(lib gtest gtest_main gmock)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()

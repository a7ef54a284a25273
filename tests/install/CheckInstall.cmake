# cmake -DBUILD_DIR=... -P CheckInstall.cmake
set(prefix ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(expected bin/corlune-track libexec/corlune-track/corlune-track-keyring)
if(WITH_SERVER)
  list(APPEND expected bin/corlune-track-server)
endif()
foreach(path ${expected}
             share/applications/com.corlune.Track.desktop
             share/metainfo/com.corlune.Track.metainfo.xml
             share/icons/hicolor/256x256/apps/com.corlune.Track.png)
  if(NOT EXISTS ${prefix}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()

execute_process(COMMAND desktop-file-validate ${prefix}/share/applications/com.corlune.Track.desktop
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()
execute_process(COMMAND appstreamcli validate --no-net ${prefix}/share/metainfo/com.corlune.Track.metainfo.xml
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate: ${out}")
endif()
message(STATUS "install layout valid")

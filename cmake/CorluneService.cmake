# The service the client talks to is baked into the binary: the program reads no option,
# environment variable or file for it.
set(CORLUNE_SERVICE_URL "http://127.0.0.1:8787" CACHE STRING
    "Base URL (scheme and host, optional port, no path) of the time-tracking service")
set(CORLUNE_PROBE_HOST "" CACHE STRING
    "Host whose reachability decides whether the client is online (default: the service's host)")

if(NOT CORLUNE_SERVICE_URL MATCHES "^(https?)://(\\[[0-9A-Fa-f:.]+\\]|[^/:?#@]+)(:[0-9]+)?$")
  message(FATAL_ERROR "CORLUNE_SERVICE_URL must be scheme://host[:port] with no path: '${CORLUNE_SERVICE_URL}'")
endif()
set(_corlune_scheme "${CMAKE_MATCH_1}")
set(_corlune_host "${CMAKE_MATCH_2}")
string(REGEX REPLACE "^\\[(.*)\\]$" "\\1" _corlune_host_bare "${_corlune_host}")
string(TOLOWER "${_corlune_host_bare}" _corlune_host_lower)

# A password must never cross a network in clear text: plain http is only for loopback.
if(_corlune_scheme STREQUAL "http")
  if(NOT (_corlune_host_lower STREQUAL "localhost" OR _corlune_host_lower MATCHES "^127\\.[0-9]+\\.[0-9]+\\.[0-9]+$"
          OR _corlune_host_lower STREQUAL "::1"))
    message(FATAL_ERROR "CORLUNE_SERVICE_URL uses plain http for a host that is not loopback "
                        "('${_corlune_host}'); use https")
  endif()
endif()

if(CORLUNE_PROBE_HOST STREQUAL "")
  set(CORLUNE_PROBE_HOST_EFFECTIVE "${_corlune_host_bare}")
else()
  set(CORLUNE_PROBE_HOST_EFFECTIVE "${CORLUNE_PROBE_HOST}")
endif()
message(STATUS "Corlune service: ${CORLUNE_SERVICE_URL} (probe host ${CORLUNE_PROBE_HOST_EFFECTIVE})")

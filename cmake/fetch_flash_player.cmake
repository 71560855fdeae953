# Run with cmake -P at build time: fetches the self-hosted build of the Flash emulator
# (the npm package @ruffle-rs/ruffle) at a pinned version through npm, checks the
# tarball against the pinned SHA-512 and unpacks the files the Flash page loads into
# DEST. Any failure leaves DEST, STAMP and the scratch folder absent and the build going:
# ".swf" then stays out of the video set, and the next build tries again. STAMP records
# the version that DEST holds.
#
# Inputs: -DDEST=<folder> -DSTAMP=<file> -DWORK=<scratch folder>
set(PACKAGE "@ruffle-rs/ruffle")
set(VERSION "0.6.0")
# The registry's integrity value (sha512-P2X1zDEN...), in hex.
set(SHA512 "3f65f5cc310d06888bb766633dcb14cda0f1a11edf545d9ed54fdb8bb85b2004048e4ca4c658d2a06f0081bcb01ef9555732fd639b4864c46a0f0226df58e03c")

function(give_up reason)
  message(WARNING "Flash emulator not bundled (${reason}); .swf files will not be listed.")
  file(REMOVE_RECURSE "${DEST}" "${WORK}")
  file(REMOVE "${STAMP}")
endfunction()

if(EXISTS "${STAMP}")
  file(READ "${STAMP}" done)
  if(done STREQUAL "${VERSION}\n" AND EXISTS "${DEST}/ruffle.js")
    return()
  endif()
endif()

find_program(NPM npm)
if(NOT NPM)
  give_up("npm not found")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(
  COMMAND "${NPM}" pack "${PACKAGE}@${VERSION}" --pack-destination "${WORK}" --silent
          --fetch-retries=1 --fetch-retry-mintimeout=2000 --fetch-retry-maxtimeout=5000
          --fetch-timeout=60000 --no-audit --no-fund
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 300)
file(GLOB tarballs "${WORK}/*.tgz")
list(LENGTH tarballs count)
if(NOT rc EQUAL 0 OR NOT count EQUAL 1)
  string(STRIP "${err}" err)
  give_up("npm pack failed: ${rc} ${err}")
  return()
endif()

file(SHA512 "${tarballs}" actual)
if(NOT actual STREQUAL SHA512)
  give_up("${PACKAGE}@${VERSION} does not match its pinned SHA-512")
  return()
endif()

file(ARCHIVE_EXTRACT INPUT "${tarballs}" DESTINATION "${WORK}/unpacked")
set(from "${WORK}/unpacked/package")
if(NOT EXISTS "${from}/ruffle.js")
  give_up("the package holds no ruffle.js")
  return()
endif()
# The loader, its chunks, the WebAssembly modules and the licences; no source maps.
file(GLOB files "${from}/ruffle.js" "${from}/core.ruffle.*.js" "${from}/*.wasm" "${from}/LICENSE_*")
file(REMOVE_RECURSE "${DEST}")
file(COPY ${files} DESTINATION "${DEST}")
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${STAMP}" "${VERSION}\n")
message(STATUS "Flash emulator ${PACKAGE}@${VERSION} bundled in ${DEST}")

# Run by cpack once it has made the zip (CPACK_POST_BUILD_SCRIPTS), before it
# copies the zip out and writes its checksum: writes the zip again so that
# the same commit gives the same bytes, whoever packs it and when. cpack's own
# zip records each file's owner, its access and change times, and local time.
#
# Every time in the zip is SOURCE_DATE_EPOCH when it is set, otherwise the
# time of the commit checked out. Without either, or without Python, the
# package fails where it must be reproducible (CPACK_KESTREL_REQUIRE_REPRODUCIBLE,
# the package preset) and otherwise keeps cpack's own zip with a warning.

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  # git as the PATH finds it, not from the system's own folders, so that
  # a PATH without git leaves the commit time unknown.
  find_program(KESTREL_GIT git NO_CMAKE_SYSTEM_PATH)
  if(KESTREL_GIT)
    # Only the commit's time is read: a checkout owned by another user
    # (a CI clone) is no reason to refuse it.
    execute_process(COMMAND "${KESTREL_GIT}" -c "safe.directory=${CPACK_KESTREL_SOURCE_DIR}"
                            log -1 --format=%ct
                    WORKING_DIRECTORY "${CPACK_KESTREL_SOURCE_DIR}"
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
  endif()
endif()

# Python's zipfile writes what is asked and nothing more. The Microsoft
# Store's stand-in for python answers --version with an error.
find_program(KESTREL_PYTHON NAMES python3 python)
if(KESTREL_PYTHON)
  execute_process(COMMAND "${KESTREL_PYTHON}" --version
                  RESULT_VARIABLE python_result OUTPUT_QUIET ERROR_QUIET)
  if(NOT python_result EQUAL 0)
    set(KESTREL_PYTHON "")
  endif()
endif()

if(NOT epoch MATCHES "^[0-9]+$" OR NOT KESTREL_PYTHON)
  # The download (preset package, scripts/package, CI) must be the
  # reproducible zip; a cpack of one's own build only warns.
  if(CPACK_KESTREL_REQUIRE_REPRODUCIBLE)
    set(severity FATAL_ERROR)
  else()
    set(severity WARNING)
  endif()
  message(${severity} "kestrel: no commit time (git or SOURCE_DATE_EPOCH) or no "
                      "Python 3: the zip is cpack's own and not reproducible")
  return()
endif()

# strip (CPACK_STRIP_FILES) wrote the time it ran into kestrel.exe's header
# (and the agent's); run again, it writes SOURCE_DATE_EPOCH's.
if(CPACK_KESTREL_STRIP)
  file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/*.exe"
                     "${CPACK_TEMPORARY_DIRECTORY}/*.dll")
  foreach(program IN LISTS programs)
    execute_process(
      COMMAND "${CMAKE_COMMAND}" -E env "SOURCE_DATE_EPOCH=${epoch}"
              "${CPACK_KESTREL_STRIP}" "${program}"
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "kestrel: cannot strip ${program}")
    endif()
  endforeach()
endif()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(
    COMMAND "${KESTREL_PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/reproducible_zip.py"
            "${package}" "${CPACK_TEMPORARY_DIRECTORY}" "${epoch}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "kestrel: cannot write ${package} again")
  endif()
endforeach()

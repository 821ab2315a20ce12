# SPDX-FileCopyrightText: 2026 The Tavimo developers
# SPDX-License-Identifier: MIT

# Sets SOURCE_DATE_EPOCH, unless it is set already, to the time of the last
# commit of the source tree this file is in, so that every date a build or a
# package records is that one. Without git (a bare machine, a source tarball)
# it stays unset and dates are the build's own.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY "${CMAKE_CURRENT_LIST_DIR}"
    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_result)
  if(git_result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  endif()
endif()

# SPDX-License-Identifier: GPL-3.0-or-later
# Run by cpack on its staging folder before the package is made: removes the sections that
# Debian's packages leave out (.comment, .note) from the programs and the library.
file(GLOB_RECURSE ps_staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS ps_staged)
  if(file MATCHES "/bin/[^/]+$" OR file MATCHES "\\.so$")
    set(extra)
    if(file MATCHES "\\.so$")
      set(extra --strip-unneeded)
    endif()
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note ${extra}
                            "${file}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "strip failed on ${file}")
    endif()
  endif()
endforeach()

# SPDX-License-Identifier: GPL-3.0-or-later
# Run by the build (cmake -P): the user guide's pictures, made by the program's screenshot run
# under Qt's offscreen platform, one per tab named in TABS ("Measure=measure,Spectrum=spectrum").
# -DPROGRAM=the program -DGUIDE=the guide's build folder. A copy of the program runs in a folder
# of its own, so that its settings files land there; no sound server is asked (PULSE_SERVER
# names none), so nobody's input level changes. A run that fails warns and leaves the picture out.
set(run ${GUIDE}/run)
file(REMOVE_RECURSE ${run})
file(MAKE_DIRECTORY ${run})
file(COPY ${PROGRAM} DESTINATION ${run})
get_filename_component(name ${PROGRAM} NAME)
string(REPLACE "," ";" tabs "${TABS}")
foreach(pair IN LISTS tabs)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 tab)
  list(GET pair 1 file)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
      PHONOSCALE_SCREENSHOT=${GUIDE}/${file}.png PHONOSCALE_RUN_SECONDS=1
      PHONOSCALE_SCREENSHOT_TAB=${tab} PULSE_SERVER=unix:/nonexistent/pulse/native
      ASAN_OPTIONS=detect_leaks=0 ${run}/${name}
    WORKING_DIRECTORY ${run} RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
  if(failed OR NOT EXISTS ${GUIDE}/${file}.png)
    message(WARNING "No picture of the ${tab} tab for the user guide (${failed})")
  endif()
endforeach()
file(REMOVE_RECURSE ${run})

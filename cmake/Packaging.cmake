# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package (cpack -G DEB): the program, phonoscale-measure, the level library and the
# desktop files, i.e. the "phonoscale" install component and nothing else. Its dependencies come
# from the libraries the binaries link (dpkg-shlibdeps), plus what Qt loads at run time.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME phonoscale)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Phonoscale developers")
set(CPACK_PACKAGE_CONTACT "The Phonoscale developers <maintainers@phonoscale.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audio measurement instrument")
# Lines of the long description stay below 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Phonoscale captures two channels from a sound card and shows, block by block,\n"
  "a calibrated FFT spectrum, level meters, a triggered oscilloscope of the\n"
  "band-filtered signal, a spectrogram, octave bands, a distortion analyser, a\n"
  "sound level meter, a loudness meter and a recorder of peak frequency and\n"
  "level. phonoscale-measure runs the same measurement on a sound file or a\n"
  "capture device without a window.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Stripped as Debian strips: without the .comment and .note sections either.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripForPackage.cmake)
# Only our own component: install rules of test helpers can never reach the package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};phonoscale;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # phonoscale_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins at run time, so no linked library names them; the ALSA
# plugins give the "pulse" device of desktops with a sound server.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libasound2-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

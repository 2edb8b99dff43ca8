# What the Windows build adds: freeglut linked in statically with what it needs
# of Windows (opengl32, and winmm for its timers and joystick), the C and C++
# runtimes linked in too, so that bumpmap.exe needs no DLL beyond Windows' own;
# its version resource and icon; a check of those and of the start-up after
# every link; and the zip.

# Without it, freeglut's header declares its functions as DLL imports.
target_compile_definitions(bumpmap_core PUBLIC FREEGLUT_STATIC)
target_link_libraries(bumpmap PRIVATE opengl32 winmm gdi32)
# Without a link time in its header, the same sources make the same exe; -s
# drops the symbols and the runtimes' debug sections, more than half its size.
target_link_options(bumpmap PRIVATE -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp -s)

# The version, description and copyright that Windows shows in the file's
# Properties: from project() and the copyright line of LICENSE.
enable_language(RC)
file(STRINGS "${CMAKE_SOURCE_DIR}/LICENSE" bumpmap_copyright REGEX "^Copyright " LIMIT_COUNT 1)
# The icon, packed from the demo's own at the sizes that Windows asks of an
# application's icon.
set(bumpmap_icon "${CMAKE_BINARY_DIR}/bumpmap.ico")
set(bumpmap_icon_pngs "")
foreach(size 16 24 32 48 256)
  list(APPEND bumpmap_icon_pngs "${CMAKE_SOURCE_DIR}/data/icons/hicolor/${size}x${size}/apps/bumpmap.png")
endforeach()
add_custom_command(OUTPUT "${bumpmap_icon}"
  COMMAND "${CMAKE_SOURCE_DIR}/scripts/windows-icon.py" "${bumpmap_icon}" ${bumpmap_icon_pngs}
  DEPENDS "${CMAKE_SOURCE_DIR}/scripts/windows-icon.py" ${bumpmap_icon_pngs}
  COMMENT "Packing bumpmap.ico"
  VERBATIM)
configure_file("${CMAKE_SOURCE_DIR}/data/windows/bumpmap.rc.in" "${CMAKE_BINARY_DIR}/bumpmap.rc" @ONLY)
set_source_files_properties("${CMAKE_BINARY_DIR}/bumpmap.rc" PROPERTIES OBJECT_DEPENDS "${bumpmap_icon}")
target_sources(bumpmap PRIVATE "${CMAKE_BINARY_DIR}/bumpmap.rc" "${bumpmap_icon}")

add_custom_command(TARGET bumpmap POST_BUILD
  COMMAND "${CMAKE_SOURCE_DIR}/tests/windows_exe_check.sh" "${CMAKE_OBJDUMP}"
    "$<TARGET_FILE:bumpmap>" "${PROJECT_VERSION}" "$<TARGET_OBJECTS:bumpmap>"
  COMMENT "Checking bumpmap.exe's DLLs, its start-up, its version, its icon and that it is stripped"
  COMMAND_EXPAND_LISTS
  VERBATIM)

set(bumpmap_zip_name "bumpmap-${PROJECT_VERSION}-windows-x86_64")
set(bumpmap_zip_dir "${CMAKE_BINARY_DIR}/zip/${bumpmap_zip_name}")
set(bumpmap_freeglut_doc "${BUMPMAP_FREEGLUT_PREFIX}/share/doc/freeglut")
# The texts with Windows' line ends, which Notepad before Windows 10 needs.
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/${bumpmap_zip_name}.zip"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${CMAKE_BINARY_DIR}/zip"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${bumpmap_zip_dir}"
  COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:bumpmap>" "${bumpmap_zip_dir}/bumpmap.exe"
  COMMAND "${CMAKE_COMMAND}" -D "IN=${CMAKE_SOURCE_DIR}/LICENSE" -D "OUT=${bumpmap_zip_dir}/LICENSE.txt"
    -P "${CMAKE_SOURCE_DIR}/cmake/crlf.cmake"
  COMMAND "${CMAKE_COMMAND}" -D "IN=${bumpmap_freeglut_doc}/COPYING" -D "OUT=${bumpmap_zip_dir}/freeglut-COPYING.txt"
    -P "${CMAKE_SOURCE_DIR}/cmake/crlf.cmake"
  COMMAND "${CMAKE_COMMAND}" -D "IN=${CMAKE_SOURCE_DIR}/data/windows/README.txt.in" -D "OUT=${bumpmap_zip_dir}/README.txt"
    -D "VERSION=${PROJECT_VERSION}" -P "${CMAKE_SOURCE_DIR}/cmake/crlf.cmake"
  COMMAND "${CMAKE_SOURCE_DIR}/scripts/zip-folder.sh"
    "${CMAKE_BINARY_DIR}/${bumpmap_zip_name}.zip" "${bumpmap_zip_dir}"
  DEPENDS bumpmap "${CMAKE_SOURCE_DIR}/LICENSE" "${CMAKE_SOURCE_DIR}/data/windows/README.txt.in"
    "${bumpmap_freeglut_doc}/COPYING" "${CMAKE_SOURCE_DIR}/scripts/zip-folder.sh"
    "${CMAKE_SOURCE_DIR}/cmake/crlf.cmake"
  COMMENT "Packing ${bumpmap_zip_name}.zip"
  VERBATIM)
add_custom_target(windows_zip ALL DEPENDS "${CMAKE_BINARY_DIR}/${bumpmap_zip_name}.zip")

# The web page: Emscripten's own toolchain file, wherever this Emscripten keeps
# it (EMSCRIPTEN_ROOT, or what its em-config says: /usr/share/emscripten on Debian).
if(DEFINED ENV{EMSCRIPTEN_ROOT})
  set(bumpmap_emscripten_root "$ENV{EMSCRIPTEN_ROOT}")
else()
  execute_process(COMMAND em-config EMSCRIPTEN_ROOT
    OUTPUT_VARIABLE bumpmap_emscripten_root OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE bumpmap_em_config_status)
  if(NOT bumpmap_em_config_status EQUAL 0)
    message(FATAL_ERROR "The web build needs Emscripten: em-config does not run "
      "(scripts/install-deps.sh web installs it)")
  endif()
endif()
include("${bumpmap_emscripten_root}/cmake/Modules/Platform/Emscripten.cmake")

# Turns the page JavaScript files into one header of string constants, so the binary carries
# its page scripts and the scripts stay plain .js files that editors and linters understand.
# The shared helpers (HELPERS) take the place of the line "__PAGE_HELPERS__;" in each script.
# Run as: cmake -DOUTPUT=<header> -DHELPERS=<helpers.js> -DINPUTS=<a.js;b.js> -P embed_page_scripts.cmake
file(READ ${HELPERS} helpers)
set(text "// Generated from src/browser/js at build time.\n#pragma once\n\n#include <string_view>\n\n")
string(APPEND text "namespace velmor::browser::page_js {\n\n")
foreach(input IN LISTS INPUTS)
  get_filename_component(stem ${input} NAME_WE)
  file(READ ${input} body)
  string(REPLACE "__PAGE_HELPERS__;\n" "${helpers}" body "${body}")
  string(APPEND text "inline constexpr std::string_view ${stem} = R\"velmorjs(${body})velmorjs\";\n\n")
endforeach()
string(APPEND text "}  // namespace velmor::browser::page_js\n")
file(WRITE ${OUTPUT}.tmp "${text}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)

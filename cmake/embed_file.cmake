# morvelle_embed_file(OUTPUT_CPP INPUT SYMBOL HEADER): at build time, writes OUTPUT_CPP defining
#   extern const unsigned char SYMBOL[];         the bytes of INPUT
#   extern const unsigned long SYMBOL_size;      their count
# (declared in HEADER, an include path from the source root). Regenerated when INPUT changes.
# This file is also the generator: run as `cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=...
# -DHEADER=... -P embed_file.cmake`; it needs nothing but CMake.

if(CMAKE_SCRIPT_MODE_FILE)
  foreach(variable INPUT OUTPUT SYMBOL HEADER)
    if(NOT DEFINED ${variable})
      message(FATAL_ERROR "embed_file.cmake: ${variable} is not set")
    endif()
  endforeach()
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # 16 bytes a line, each as 0xNN.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 16 line_pattern)
  string(REGEX REPLACE "(${line_pattern})" "\\1\n    " bytes "${bytes}")
  get_filename_component(name "${INPUT}" NAME)
  if(size EQUAL 0)
    set(bytes "0x00")   # an array cannot be empty; the size stays 0
  endif()
  file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${name} by cmake/embed_file.cmake; do not edit.\n"
    "#include \"${HEADER}\"\n\n"
    "extern const unsigned char ${SYMBOL}[] = {\n    ${bytes}\n};\n"
    "extern const unsigned long ${SYMBOL}_size = ${size};\n")
  file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
  return()
endif()

set(MORVELLE_EMBED_FILE_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(morvelle_embed_file output_cpp input symbol header)
  add_custom_command(
    OUTPUT ${output_cpp}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output_cpp} -DSYMBOL=${symbol}
            -DHEADER=${header} -P ${MORVELLE_EMBED_FILE_SCRIPT}
    DEPENDS ${input} ${MORVELLE_EMBED_FILE_SCRIPT}
    COMMENT "Embedding ${input}"
    VERBATIM)
endfunction()

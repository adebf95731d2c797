# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=identifier -P embed_text.cmake
# Writes a C++ source that defines `extern const char NAME[]` holding the file's text.
file(READ "${INPUT}" content)
set(delim "wq_embed")
string(FIND "${content}" ")${delim}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; edit that file instead.\n"
  "namespace wq::cli {\n"
  "extern const char ${NAME}[];\n"
  "const char ${NAME}[] = R\"${delim}(${content})${delim}\";\n"
  "}  // namespace wq::cli\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE "${OUTPUT}.tmp")

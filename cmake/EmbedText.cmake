# Writes a C++ source that holds a text file as a string_view, at build time:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=kName -DHEADER=Name.h -P EmbedText.cmake
file(READ "${INPUT}" text)
set(delimiter "vivozo_embedded")
string(FIND "${text}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${INPUT} holds the raw string's end marker )${delimiter}\"")
endif()
file(WRITE "${OUTPUT}.new" "// Made from ${INPUT} at build time; edit that file instead.\n#include \"${HEADER}\"\n\n"
     "const std::string_view ${NAME} = R\"${delimiter}(${text})${delimiter}\";\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")

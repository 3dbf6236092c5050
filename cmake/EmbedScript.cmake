# Writes the bytes of IN as a C++ string_view named SYMBOL into OUT (hex escapes: any content,
# UTF-8 included, survives unchanged).
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" len)
math(EXPR bytes "${len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
string(REGEX REPLACE "((\\\\x[0-9a-f][0-9a-f]){32})" "\\1\"\n\"" escaped "${escaped}")
file(WRITE ${OUT} "// Generated from ${IN}; do not edit.\n#include <string_view>\n"
     "namespace ger::embedded {\nextern const std::string_view ${SYMBOL};\n"
     "const std::string_view ${SYMBOL}(\"${escaped}\", ${bytes});\n}\n")

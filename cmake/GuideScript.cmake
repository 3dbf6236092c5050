# Converts the guide IN (Markdown) with CMARK into the HTML page OUT: cmark's body inside a page
# that names its language and encoding. Raw HTML (the topics' anchors) is kept.
execute_process(COMMAND ${CMARK} --unsafe --smart ${IN} OUTPUT_VARIABLE body
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmark could not convert ${IN}")
endif()
file(WRITE ${OUT}
     "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n"
     "<title>Guia do usuário</title>\n</head>\n<body>\n${body}</body>\n</html>\n")

# SPDX-License-Identifier: MIT
# Makes the single-file page: index.html with its style sheet and scripts
# written into it, the program's WebAssembly inside the script, so that the
# one file opens from disk (file://) as well as from a server.
#   cmake -DPAGE=dir -DCORE=single-file-core.js -DVIDEO=tambrel-video.js -DOUT=tambrel.html -P inline.cmake
file(READ ${PAGE}/index.html html)
file(READ ${PAGE}/tambrel.css css)
file(READ ${CORE} core)
file(READ ${VIDEO} video)
file(READ ${PAGE}/tambrel.js page)
foreach(part core video page)
  string(FIND "${${part}}" "</script" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${part} holds </script and cannot be written inline")
  endif()
endforeach()
# From disk there is no installing and nothing beside the file.
string(REPLACE "<link rel=\"icon\" href=\"icon-192.png\">" "<link rel=\"icon\" href=\"data:,\">" html "${html}")
string(REPLACE "<link rel=\"manifest\" href=\"tambrel.webmanifest\">\n" "" html "${html}")
string(REPLACE "<link rel=\"stylesheet\" href=\"tambrel.css\">" "<style>\n${css}</style>" html "${html}")
string(REPLACE "<script src=\"tambrel-core.js\"></script>" "<script>\n${core}</script>" html "${html}")
string(REPLACE "<script src=\"tambrel-video.js\"></script>" "<script>\n${video}</script>" html "${html}")
string(REPLACE "<script src=\"tambrel.js\"></script>" "<script>\n${page}</script>" html "${html}")
file(WRITE ${OUT} "${html}")

# Writes the software-centre record from its template, listing the README's
# pictures as screenshots when it is told where they are published: software
# centres fetch screenshots by URL, so there are none without a public home.
#   cmake -DIN=TEMPLATE -DOUT=FILE [-DURL=BASE] -P metainfo.cmake
# BASE is the address of the docs folder; each picture is BASE/NAME.png.
set(PICTURES
  "klein-bottle|A Klein bottle in four dimensions"
  "clifford-torus|The Clifford torus in four dimensions"
  "complex-square|The graph of w = z squared"
  "veronese|The Veronese surface, seen as the Roman surface"
  "torus-10d|A flat torus in ten dimensions")

set(SCREENSHOTS "")
if(URL)
  string(REGEX REPLACE "/+$" "" URL "${URL}")
  set(SCREENSHOTS "  <screenshots>\n")
  set(kind " type=\"default\"")
  foreach(picture IN LISTS PICTURES)
    string(REPLACE "|" ";" picture "${picture}")
    list(GET picture 0 name)
    list(GET picture 1 caption)
    string(APPEND SCREENSHOTS
      "    <screenshot${kind}>\n"
      "      <caption>${caption}</caption>\n"
      "      <image>${URL}/${name}.png</image>\n"
      "    </screenshot>\n")
    set(kind "")
  endforeach()
  string(APPEND SCREENSHOTS "  </screenshots>\n")
endif()
configure_file(${IN} ${OUT} @ONLY)

# Writes Sorvel's layout of the web page window: Movrant's layout (the one unit both programs
# share) with the splash window's own position and sizes. Every change must hit exactly once,
# so that an edit of the shared layout cannot silently leave Sorvel's behind.
#   cmake -DINPUT=FormWebBrowser.dfm -DOUTPUT=out.dfm -P SorvelWindowLayout.cmake
file(READ ${INPUT} layout)
foreach(change
    "\n  Position = poMainFormCenter\n|\n  Position = poScreenCenter\n"
    "\n  ClientWidth = 246\n|\n  ClientWidth = 248\n"
    "\n  ClientHeight = 339\n|\n  ClientHeight = 341\n"
    "object tbMain: TToolBar\n    Left = 0\n    Top = 0\n    Width = 246\n|object tbMain: TToolBar\n    Left = 0\n    Top = 0\n    Width = 248\n")
  string(FIND "${change}" "|" bar)
  string(SUBSTRING "${change}" 0 ${bar} from)
  math(EXPR start "${bar} + 1")
  string(SUBSTRING "${change}" ${start} -1 to)
  string(FIND "${layout}" "${from}" first)
  string(FIND "${layout}" "${from}" last REVERSE)
  if(first EQUAL -1 OR NOT first EQUAL last)
    message(FATAL_ERROR "${INPUT}: expected exactly one \"${from}\"")
  endif()
  string(REPLACE "${from}" "${to}" layout "${layout}")
endforeach()
file(WRITE ${OUTPUT} "${layout}")

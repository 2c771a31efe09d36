# The table of font widths in the sources is the one the installed DejaVu
# fonts give: the layout measures text with it, the drawing module draws
# with the fonts. On a mismatch the fresh table is left in the build
# directory as fontwidths.inc.actual.
execute_process(COMMAND ${PROGRAM} OUTPUT_VARIABLE fresh RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kalmir_font_widths failed (${status})")
endif()
file(READ ${TABLE} kept)
if(NOT fresh STREQUAL kept)
  file(WRITE ${OUTDIR}/fontwidths.inc.actual "${fresh}")
  message(FATAL_ERROR "src/plot/fontwidths.inc differs from the installed "
    "fonts' widths; see ${OUTDIR}/fontwidths.inc.actual")
endif()

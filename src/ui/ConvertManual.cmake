# Converts the HTML manual to PDF with a headless office in a private profile.
# Called as: cmake -DSOURCE=... -DOUTPUT=... -DWORK=... -P ConvertManual.cmake
# Any failure is reported and ignored: the program runs without its manual.
find_program(SOFFICE soffice)
find_program(TIMEOUT timeout)
if(NOT SOFFICE OR NOT TIMEOUT)
  message(WARNING "soffice or timeout not found; the manual is not built")
  return()
endif()
file(REMOVE_RECURSE ${WORK}/out)
file(MAKE_DIRECTORY ${WORK}/out ${WORK}/profile)
# timeout signals its whole process group, so the office's own child processes end with it.
# --writer opens the page as a Writer text document: left to itself the office opens an .html
# file in Writer/Web, whose PDF export loses the first paragraph (the manual's title) and puts
# an empty page in front of the rest.
execute_process(
  COMMAND ${TIMEOUT} -k 10 180 ${SOFFICE} -env:UserInstallation=file://${WORK}/profile
          --headless --norestore --nologo --nodefault --writer
          --convert-to pdf:writer_pdf_Export --outdir ${WORK}/out ${SOURCE}
  RESULT_VARIABLE rc
  OUTPUT_QUIET ERROR_QUIET)
get_filename_component(name ${SOURCE} NAME_WE)
if(rc EQUAL 0 AND EXISTS ${WORK}/out/${name}.pdf)
  file(COPY_FILE ${WORK}/out/${name}.pdf ${OUTPUT})
else()
  message(WARNING "The manual could not be converted (soffice result: ${rc}); the build goes on without it")
endif()

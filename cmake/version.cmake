# Writes OUT with QD_MODULE_VERSION taken from `git describe` in SRC, or
# FALLBACK (the project version) outside a checkout. The file is rewritten
# only when the text changes, so an unchanged version rebuilds nothing.
execute_process(COMMAND git describe --always --dirty --tags
                WORKING_DIRECTORY ${SRC}
                OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc ERROR_QUIET)
if(rc EQUAL 0 AND described)
  set(version "${FALLBACK}-${described}")
else()
  set(version "${FALLBACK}")
endif()
set(text "#pragma once\n#define QD_MODULE_VERSION \"${version}\"\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()

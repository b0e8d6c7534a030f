# cmake -DTOOL=... -DHEADER=... -DCACHE_PATH=... -DURL_PATH=... -P PinExtractionTool.cmake
file (SHA256 "${TOOL}" digest)

set (text "// Written by the build from the extraction tool it built; do not edit.
#pragma once
#define QUILLOTONE_EXTRACTION_TOOL_CACHE_PATH \"${CACHE_PATH}\"
#define QUILLOTONE_EXTRACTION_TOOL_URL_PATH \"${URL_PATH}\"
#define QUILLOTONE_EXTRACTION_TOOL_DIGEST \"${digest}\"
")

set (old "")
if (EXISTS "${HEADER}")
    file (READ "${HEADER}" old)
endif()

if (NOT old STREQUAL text)
    file (WRITE "${HEADER}" "${text}")
endif()

# Where the manager finds the extraction tool and what digest it expects. Each
# build serves and pins the tool it built for its own platform: the digest is
# taken from the built file, so the pin cannot drift from the tool.
if (WIN32)
    set (QUILLOTONE_EXTRACTION_TOOL_CACHE_PATH "/Utils/quillex.exe")
    set (QUILLOTONE_EXTRACTION_TOOL_URL_PATH "/plugin-manager/utils/windows/quillex.exe")
else()
    set (QUILLOTONE_EXTRACTION_TOOL_CACHE_PATH "/Utils/quillex")
    set (QUILLOTONE_EXTRACTION_TOOL_URL_PATH "/plugin-manager/utils/linux/quillex")
endif()

set (QUILLOTONE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set (QUILLOTONE_EXTRACTION_TOOL_PIN ${QUILLOTONE_GENERATED_DIR}/ExtractionToolPin.h)

# Rewritten only when its text changes, so the manager relinks only for a new tool.
add_custom_command (
    OUTPUT ${QUILLOTONE_EXTRACTION_TOOL_PIN}
    COMMAND ${CMAKE_COMMAND}
            -DTOOL=$<TARGET_FILE:quillex>
            -DHEADER=${QUILLOTONE_EXTRACTION_TOOL_PIN}
            -DCACHE_PATH=${QUILLOTONE_EXTRACTION_TOOL_CACHE_PATH}
            -DURL_PATH=${QUILLOTONE_EXTRACTION_TOOL_URL_PATH}
            -P ${CMAKE_CURRENT_LIST_DIR}/PinExtractionTool.cmake
    DEPENDS quillex ${CMAKE_CURRENT_LIST_DIR}/PinExtractionTool.cmake
    COMMENT "Pinning the extraction tool's digest"
    VERBATIM)

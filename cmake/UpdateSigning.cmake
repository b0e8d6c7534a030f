# Decides whether this build may exist without the maker's update key.
# Reads QUILLOTONE_UPDATE_PUBLIC_KEY and QUILLOTONE_UNSIGNED_UPDATES; runs
# before project() so a refused configure ends before any other work.
# Also runs on its own: cmake -DQUILLOTONE_UPDATE_PUBLIC_KEY=... -P UpdateSigning.cmake
#
# Without a key the payload's digest would come from the same server as the
# payload, so whoever controls that server decides what every manager runs.

if ("${QUILLOTONE_UPDATE_PUBLIC_KEY}" STREQUAL "")
    if (NOT QUILLOTONE_UNSIGNED_UPDATES)
        message (FATAL_ERROR
            "QUILLOTONE_UPDATE_PUBLIC_KEY is not set: the manager needs the maker's public key to check its "
            "update manifest. Pass -DQUILLOTONE_UPDATE_PUBLIC_KEY=<the line tools/sign-manager-manifest.py "
            "public-key prints> (scripts/build passes the stand-in's), or -DQUILLOTONE_UNSIGNED_UPDATES=ON "
            "for a development build that must never ship.")
    endif()
    message (WARNING "QUILLOTONE_UNSIGNED_UPDATES: this build accepts unsigned update manifests. Never ship it.")
    set (QUILLOTONE_UPDATE_SIGNING_DEFINITIONS "QUILLOTONE_UPDATE_PUBLIC_KEY=\"\";QUILLOTONE_UNSIGNED_UPDATES=1")
else()
    # 2048 bits at least, as the manager's own check demands.
    if (NOT QUILLOTONE_UPDATE_PUBLIC_KEY MATCHES "^[0-9a-fA-F]+,[0-9a-fA-F]+$")
        message (FATAL_ERROR "QUILLOTONE_UPDATE_PUBLIC_KEY is not a key from tools/sign-manager-manifest.py public-key")
    endif()
    string (REGEX REPLACE "^[0-9a-fA-F]+,0*" "" modulus "${QUILLOTONE_UPDATE_PUBLIC_KEY}")
    string (LENGTH "${modulus}" digits)
    if (digits LESS 512)
        message (FATAL_ERROR "QUILLOTONE_UPDATE_PUBLIC_KEY has a modulus under 2048 bits")
    endif()
    # With a key, signatures are checked whatever the development option says.
    set (QUILLOTONE_UPDATE_SIGNING_DEFINITIONS
         "QUILLOTONE_UPDATE_PUBLIC_KEY=\"${QUILLOTONE_UPDATE_PUBLIC_KEY}\";QUILLOTONE_UNSIGNED_UPDATES=0")
endif()

if (CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    message ("${QUILLOTONE_UPDATE_SIGNING_DEFINITIONS}")
endif()

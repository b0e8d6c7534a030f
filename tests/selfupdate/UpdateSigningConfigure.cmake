# A build needs the maker's update key unless it is declared a development
# build. Refusals come from configuring the real tree (they end before
# project(), so nothing else is configured); acceptances from the rule alone.
# cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -P UpdateSigningConfigure.cmake
cmake_policy (SET CMP0007 NEW)
string (REPEAT "c" 512 modulus)
string (REPEAT "c" 500 shortModulus)
set (key "10001,${modulus}")

# name | arguments (separated by !) | configure the tree or run the rule | expected exit | text expected in the output
set (cases
    "no key||tree|fail|QUILLOTONE_UPDATE_PUBLIC_KEY is not set"
    "an empty key|-DQUILLOTONE_UPDATE_PUBLIC_KEY=|tree|fail|QUILLOTONE_UPDATE_PUBLIC_KEY is not set"
    "the option off|-DQUILLOTONE_UNSIGNED_UPDATES=OFF|tree|fail|QUILLOTONE_UPDATE_PUBLIC_KEY is not set"
    "not a key|-DQUILLOTONE_UPDATE_PUBLIC_KEY=10001:${modulus}|tree|fail|QUILLOTONE_UPDATE_PUBLIC_KEY is not a key"
    "a short key|-DQUILLOTONE_UPDATE_PUBLIC_KEY=10001,${shortModulus}|tree|fail|QUILLOTONE_UPDATE_PUBLIC_KEY has a modulus under 2048 bits"
    "a key|-DQUILLOTONE_UPDATE_PUBLIC_KEY=${key}|rule|ok|QUILLOTONE_UNSIGNED_UPDATES=0"
    "a development build|-DQUILLOTONE_UNSIGNED_UPDATES=ON|rule|ok|QUILLOTONE_UNSIGNED_UPDATES=1"
    "a key in a development build|-DQUILLOTONE_UPDATE_PUBLIC_KEY=${key}!-DQUILLOTONE_UNSIGNED_UPDATES=ON|rule|ok|QUILLOTONE_UNSIGNED_UPDATES=0")

set (failures 0)
set (index 0)
foreach (case IN LISTS cases)
    string (REPLACE "|" ";" fields "${case}")
    list (GET fields 0 name)
    list (GET fields 1 arguments)
    list (GET fields 2 how)
    list (GET fields 3 expected)
    list (GET fields 4 text)
    string (REPLACE "!" ";" arguments "${arguments}")
    math (EXPR index "${index} + 1")

    if (how STREQUAL "tree")
        file (REMOVE_RECURSE "${WORK_DIR}/${index}")
        execute_process (COMMAND ${CMAKE_COMMAND} ${arguments} -S "${SOURCE_DIR}" -B "${WORK_DIR}/${index}"
                         RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    else()
        execute_process (COMMAND ${CMAKE_COMMAND} ${arguments} -P "${SOURCE_DIR}/cmake/UpdateSigning.cmake"
                         RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    endif()

    # The configure output wraps long lines.
    string (REGEX REPLACE "[ \n]+" " " output "${output}")
    if (result EQUAL 0)
        set (outcome ok)
    else()
        set (outcome fail)
    endif()

    string (FIND "${output}" "${text}" found)
    if (NOT outcome STREQUAL expected OR found EQUAL -1)
        message ("FAILED ${name}: ${outcome}, expected ${expected} with \"${text}\":\n${output}")
        math (EXPR failures "${failures} + 1")
    endif()
endforeach()

if (failures GREATER 0)
    message (FATAL_ERROR "${failures} case(s) failed")
endif()

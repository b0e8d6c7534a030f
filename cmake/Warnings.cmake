# Warnings for our own sources. The framework's headers are included as system
# headers and its module sources compile without warnings, because g++ 12
# reports false positives there (-Wdangling-pointer, a deprecated curl constant).
set (quillotone_juce_modules juce_core juce_events juce_data_structures juce_graphics
     juce_gui_basics juce_gui_extra juce_cryptography)

foreach (module IN LISTS quillotone_juce_modules)
    file (GLOB module_sources "${JUCE_MODULES_DIR}/${module}/*.cpp" "${JUCE_MODULES_DIR}/${module}/*.mm")
    set_source_files_properties (${module_sources} PROPERTIES COMPILE_OPTIONS "-w")
endforeach()

function (quillotone_set_warnings target)
    if (CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options (${target} PRIVATE -Wall -Wextra -Wshadow -Wno-missing-field-initializers)
    endif()
endfunction()

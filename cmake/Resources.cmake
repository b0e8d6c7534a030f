# Everything the program shows or writes out at run time is compiled in.
# The order below fixes the identifier list and the file-name list, and the
# second "settings.svg" becomes settings_svg2 because it comes later.
set (res ${CMAKE_CURRENT_SOURCE_DIR}/resources)
set (generated_images ${CMAKE_CURRENT_BINARY_DIR}/generated-images)
set (open_sans_dir /usr/share/fonts/truetype/open-sans)

set (app_icon_1024 "${generated_images}/Quillotone_Icon-iOS-Default-1024x1024@1x.png")
set (app_icon_512  "${generated_images}/Quillotone_Icon-iOS-Default-512x512@1x.png")
set (logo_png      "${generated_images}/quillotone.png")
set (app_icon_ico  "${generated_images}/quillotone.ico")

file (GLOB artwork_sources CONFIGURE_DEPENDS ${res}/images/*.svg)

# The raster images are drawn from our own SVG artwork at build time.
add_custom_command (
    OUTPUT ${logo_png} ${app_icon_1024} ${app_icon_512} ${app_icon_ico}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tools/render-images.sh ${generated_images}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/render-images.sh ${artwork_sources}
    COMMENT "Rendering logo and application icons"
    VERBATIM)

set (quillotone_resource_files
    ${res}/icons/chevron-right.svg
    ${res}/shapes/corner.svg
    ${res}/images/quillotone-logo.svg
    ${res}/icons/chevron-left.svg
    ${res}/icons/facebook-square.svg
    ${res}/icons/instagram-square.svg
    ${res}/icons/download.svg
    ${res}/icons/envelope.svg
    ${res}/icons/newspaper.svg
    ${res}/icons/settings.svg
    ${res}/icons/key.svg
    ${res}/icons/meh-blank.svg
    ${open_sans_dir}/OpenSans-Bold.ttf
    ${open_sans_dir}/OpenSans-Regular.ttf
    ${res}/icons/twitter-square.svg
    ${res}/icons/youtube-square.svg
    ${res}/icons/all.svg
    ${res}/icons/account.svg
    ${res}/icons/offer.svg
    ${res}/icons/demo.svg
    ${logo_png}
    ${res}/icons/install.svg
    ${res}/icons/update.svg
    ${res}/icons/delete.svg
    ${res}/icons/faq.svg
    ${res}/icons/pdf.svg
    ${res}/icons/plugin.svg
    ${res}/icons/installer.svg
    ${res}/icons/sync.svg
    ${res}/icons/logout.svg
    ${res}/icons/thumb.svg
    ${res}/icons/alt/settings.svg
    ${res}/icons/support.svg
    ${app_icon_1024}
    ${res}/scripts/apply-update.sh
    ${res}/icons/ticket.svg
    ${app_icon_512}
    ${res}/scripts/apply-update.ps1)

if (NOT EXISTS ${open_sans_dir}/OpenSans-Regular.ttf)
    message (FATAL_ERROR "Open Sans is missing: install Debian's fonts-open-sans")
endif()

list (LENGTH quillotone_resource_files resource_count)
set (binary_data_dir ${CMAKE_CURRENT_BINARY_DIR}/binarydata)
set (binary_data_outputs ${binary_data_dir}/BinaryData.h)
foreach (index RANGE 1 ${resource_count})
    list (APPEND binary_data_outputs ${binary_data_dir}/BinaryData${index}.cpp)
endforeach()

string (REPLACE ";" "\n" resource_list_text "${quillotone_resource_files}")
file (MAKE_DIRECTORY ${binary_data_dir})
file (WRITE ${binary_data_dir}/input_file_list.txt "${resource_list_text}\n")

# juceaide skips empty output files, so stale ones are cleared first.
add_custom_command (
    OUTPUT ${binary_data_outputs}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${binary_data_outputs}
    COMMAND juce::juceaide binarydata BinaryData BinaryData.h ${binary_data_dir} ${binary_data_dir}/input_file_list.txt
    COMMAND ${CMAKE_COMMAND} -E touch ${binary_data_outputs}
    DEPENDS ${quillotone_resource_files} ${binary_data_dir}/input_file_list.txt
    COMMENT "Embedding resources"
    VERBATIM)

add_library (quillotone_resources STATIC ${binary_data_outputs})
target_include_directories (quillotone_resources INTERFACE ${binary_data_dir})
target_compile_definitions (quillotone_resources INTERFACE JUCE_TARGET_HAS_BINARY_DATA=1)

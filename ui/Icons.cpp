#include "ui/Icons.h"

namespace Icons
{

std::unique_ptr<juce::Drawable> fromResource (const char* data, int size)
{
    return juce::Drawable::createFromImageData (data, (size_t) size);
}

std::unique_ptr<juce::Drawable> fromStrokePaths (std::initializer_list<const char*> paths)
{
    juce::String svg ("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 24 24\" fill=\"none\" "
                      "stroke=\"#000000\" stroke-width=\"2\" stroke-linecap=\"round\" stroke-linejoin=\"round\">");

    for (auto* d : paths)
        svg << "<path d=\"" << d << "\"/>";

    svg << "</svg>";

    if (auto xml = juce::parseXML (svg))
        return juce::Drawable::createFromSVG (*xml);

    return {};
}

} // namespace Icons

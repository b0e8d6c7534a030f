#include "ui/Fonts.h"

#include <BinaryData.h>

#include <atomic>

namespace Fonts
{

namespace
{
    std::atomic<int> creations { 0 };

    // A function-local static would outlive the leak detector at exit;
    // DeletedAtShutdown releases the typefaces with the rest of the framework.
    struct Holder final : public juce::DeletedAtShutdown
    {
        Holder()
            : regular (juce::Typeface::createSystemTypefaceFor (BinaryData::OpenSansRegular_ttf,
                                                                static_cast<size_t> (BinaryData::OpenSansRegular_ttfSize))),
              bold (juce::Typeface::createSystemTypefaceFor (BinaryData::OpenSansBold_ttf,
                                                             static_cast<size_t> (BinaryData::OpenSansBold_ttfSize)))
        {
            creations += 2;
        }

        ~Holder() override { clearSingletonInstance(); }

        juce::Typeface::Ptr regular, bold;

        JUCE_DECLARE_SINGLETON_SINGLETHREADED_MINIMAL (Holder)
    };

    JUCE_IMPLEMENT_SINGLETON (Holder)
}

juce::Typeface::Ptr regularTypeface() { return Holder::getInstance()->regular; }
juce::Typeface::Ptr boldTypeface()    { return Holder::getInstance()->bold; }

juce::Font regular (float height) { return juce::Font (regularTypeface()).withHeight (height); }
juce::Font bold (float height)    { return juce::Font (boldTypeface()).withHeight (height); }

int typefacesCreated() { return creations.load(); }

} // namespace Fonts

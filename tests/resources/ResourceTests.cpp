#include <gtest/gtest.h>

#include <BinaryData.h>

#include <juce_gui_basics/juce_gui_basics.h>

#include "ui/Fonts.h"

namespace
{
    const char* const usedSvgs[] = {
        "corner.svg", "quillotone-logo.svg", "envelope.svg", "settings.svg", "key.svg", "all.svg",
        "demo.svg", "install.svg", "update.svg", "delete.svg", "faq.svg", "pdf.svg", "plugin.svg",
        "installer.svg", "sync.svg", "logout.svg", "thumb.svg", "support.svg", "ticket.svg"
    };
}

TEST (Resources, IdentifiersFollowTheFileNamesInOrder)
{
    ASSERT_EQ (BinaryData::namedResourceListSize, 38);

    EXPECT_STREQ (BinaryData::namedResourceList[0], "chevronright_svg");
    EXPECT_STREQ (BinaryData::originalFilenames[0], "chevron-right.svg");
    EXPECT_STREQ (BinaryData::namedResourceList[9], "settings_svg");
    EXPECT_STREQ (BinaryData::namedResourceList[31], "settings_svg2");
    EXPECT_STREQ (BinaryData::originalFilenames[31], "settings.svg");
    EXPECT_STREQ (BinaryData::namedResourceList[33], "Quillotone_IconiOSDefault1024x10241x_png");
    EXPECT_STREQ (BinaryData::namedResourceList[37], "applyupdate_ps1");
    EXPECT_STREQ (BinaryData::originalFilenames[37], "apply-update.ps1");

    // Text resources carry no terminating zero in their size.
    EXPECT_NE (BinaryData::applyupdate_sh[BinaryData::applyupdate_shSize - 1], '\0');
}

TEST (Resources, EveryUsedSvgDecodesToADrawable)
{
    for (auto* name : usedSvgs)
    {
        int size = 0;
        const char* data = nullptr;

        for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
            if (juce::String (BinaryData::originalFilenames[i]) == name)
            {
                data = BinaryData::getNamedResource (BinaryData::namedResourceList[i], size);
                break;
            }

        ASSERT_NE (data, nullptr) << name;
        auto drawable = juce::Drawable::createFromImageData (data, (size_t) size);
        ASSERT_NE (drawable, nullptr) << name;
        EXPECT_FALSE (drawable->getDrawableBounds().isEmpty()) << name;

        // Icons scale by their whole 24x24 grid, not by their ink, so they line up.
        if (juce::String (name) != "quillotone-logo.svg" && juce::String (name) != "corner.svg")
        {
            EXPECT_EQ (drawable->getDrawableBounds().getSmallestIntegerContainer(), juce::Rectangle<int> (0, 0, 24, 24)) << name;
        }
    }
}

TEST (Resources, ImagesDecodeAtTheirSizes)
{
    auto logo = juce::ImageFileFormat::loadFrom (BinaryData::quillotone_png, (size_t) BinaryData::quillotone_pngSize);
    ASSERT_TRUE (logo.isValid());
    EXPECT_EQ (logo.getWidth(), 440);
    EXPECT_EQ (logo.getHeight(), 122);

    auto icon = juce::ImageFileFormat::loadFrom (BinaryData::Quillotone_IconiOSDefault1024x10241x_png,
                                                 (size_t) BinaryData::Quillotone_IconiOSDefault1024x10241x_pngSize);
    EXPECT_EQ (icon.getWidth(), 1024);
    auto small = juce::ImageFileFormat::loadFrom (BinaryData::Quillotone_IconiOSDefault512x5121x_png,
                                                  (size_t) BinaryData::Quillotone_IconiOSDefault512x5121x_pngSize);
    EXPECT_EQ (small.getWidth(), 512);
}

TEST (Resources, FontsBecomeTypefacesCreatedOncePerProcess)
{
    auto regular = Fonts::regularTypeface();
    auto bold = Fonts::boldTypeface();
    ASSERT_NE (regular, nullptr);
    ASSERT_NE (bold, nullptr);
    EXPECT_EQ (regular->getName(), "Open Sans");
    EXPECT_EQ (bold->getName(), "Open Sans");
    EXPECT_NE (regular->getStyle(), bold->getStyle());

    EXPECT_EQ (Fonts::regular (15.0f).getTypefacePtr(), regular);
    EXPECT_EQ (Fonts::bold (20.0f).getTypefacePtr(), bold);
    EXPECT_EQ (Fonts::typefacesCreated(), 2);

    // Glyphs come from the embedded face, not a fallback.
    EXPECT_GT (Fonts::regular (15.0f).getStringWidthFloat ("Quillotone"), 10.0f);
}

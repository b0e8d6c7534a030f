#include <gtest/gtest.h>

#include "products/Product.h"
#include "support/TestHelpers.h"

using testing_support::ScopedHome;

namespace
{
    ProductRecord record (const juce::String& name, const juce::String& thumbnail = {})
    {
        ProductRecord r;
        r.name = name;
        r.latestVersion = "1.0.0";
        r.thumbnailFile = thumbnail;
        return r;
    }

    juce::MouseEvent mouseEventFor (juce::Component& component)
    {
        auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                 &component, &component, now, {}, now, 1, false };
    }

    bool anyPixel (const juce::Image& image, juce::Rectangle<int> area, std::function<bool (juce::Colour)> test)
    {
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (test (image.getPixelAt (x, y)))
                    return true;

        return false;
    }

    // Antialiased green text on white keeps red and blue equal and below green.
    bool isGreen (juce::Colour c)   { return c.getGreen() > c.getRed() + 40 && c.getRed() == c.getBlue(); }
}

TEST (ProductRow, LayoutOfAStandardRow)
{
    ScopedHome home;
    Product row (record ("Big Room Verb"));
    row.refreshStatus();
    row.setSize (600, 150);

    EXPECT_EQ (row.getThumbnail().getBounds(), juce::Rectangle<int> (5, 5, 140, 140));
    EXPECT_EQ (row.textLeft(), 165);
    EXPECT_EQ (row.getInstallButton().getBounds(), juce::Rectangle<int> (480, 70, 110, 30));
    EXPECT_EQ (row.getUninstallButton().getBounds(), juce::Rectangle<int> (480, 105, 110, 30));
    EXPECT_EQ (row.getProgressBar().getBounds(), juce::Rectangle<int> (162, 80, 200, 8));
    EXPECT_EQ (row.getInstallButton().getButtonText(), "Install");
    EXPECT_EQ (row.getUninstallButton().getButtonText(), "Uninstall");
    EXPECT_TRUE (row.getProgressBar().isVisible());
    EXPECT_EQ (row.getProgressBar().getProgress(), 1.0);

    // Nothing installed: nothing to uninstall. A plugin without a version still counts.
    EXPECT_FALSE (row.getUninstallButton().isEnabled());
    juce::File (row.vst2Target).getParentDirectory().createDirectory();
    juce::File (row.vst2Target).replaceWithText ("no version");
    row.refreshStatus();
    row.resized();
    EXPECT_EQ (row.statusText, "installed");
    EXPECT_TRUE (row.getUninstallButton().isEnabled());

    // No thumbnail file: the image stays empty and the rest keeps its place.
    EXPECT_FALSE (row.getThumbnail().getImage().isValid());
}

TEST (ProductRow, ThumbnailIsStretchedIntoARoundedSquare)
{
    ScopedHome home;
    auto file = home.home.folder.getChildFile ("wide.png");
    {
        juce::Image wide (juce::Image::RGB, 100, 50, true);
        juce::Graphics g (wide);
        g.fillAll (juce::Colours::red);
        g.setColour (juce::Colours::blue);
        g.fillRect (50, 0, 50, 50);
        juce::FileOutputStream out (file);
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (wide, out));
    }

    Product row (record ("Wide", file.getFullPathName()));
    row.setSize (600, 150);

    auto image = row.getThumbnail().getImage();
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getWidth(), 145);
    EXPECT_EQ (image.getHeight(), 145);

    // Squashed, not cropped: left half red, right half blue, top to bottom.
    EXPECT_EQ (image.getPixelAt (30, 20).getRed(), 255);
    EXPECT_EQ (image.getPixelAt (30, 125).getRed(), 255);
    EXPECT_EQ (image.getPixelAt (110, 72).getBlue(), 255);
    // Rounded, inset corners stay transparent.
    EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (3, 3).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (144, 144).getAlpha(), 0);

    // A file that is not an image gives a transparent square.
    file.replaceWithText ("not a picture");
    Product broken (record ("Broken", file.getFullPathName()));
    broken.setSize (600, 150);
    ASSERT_TRUE (broken.getThumbnail().getImage().isValid());
    EXPECT_EQ (broken.getThumbnail().getImage().getPixelAt (72, 72).getAlpha(), 0);
}

TEST (ProductRow, HoverDarkensTheCardAndOutlinesIt)
{
    ScopedHome home;
    Product row (record ("Big Room Verb"));
    row.setSize (600, 150);

    auto plain = row.createComponentSnapshot (row.getLocalBounds());
    EXPECT_EQ (plain.getPixelAt (300, 140).getRed(), 255);

    row.mouseEnter (mouseEventFor (row));
    EXPECT_TRUE (row.hovered);
    auto hovered = row.createComponentSnapshot (row.getLocalBounds());
    EXPECT_EQ (hovered.getPixelAt (300, 140).getRed(), 250);
    EXPECT_LT (hovered.getPixelAt (300, 2).getRed(), 245);        // the grey outline

    row.mouseExit (mouseEventFor (row));
    EXPECT_FALSE (row.hovered);
    EXPECT_EQ (row.createComponentSnapshot (row.getLocalBounds()).getPixelAt (300, 140).getRed(), 255);
}

TEST (ProductRow, FreebieAndBadgesShowWhatIsTrue)
{
    ScopedHome home;
    auto free = record ("Crumblepad");
    Product freebie (free);
    freebie.refreshStatus();
    freebie.setSize (600, 150);

    Product paid (record ("Big Room Verb"));
    paid.refreshStatus();
    ASSERT_TRUE (juce::File (paid.vst3Target).createDirectory());
    paid.refreshStatus();
    paid.setSize (600, 150);

    const juce::Rectangle<int> freebieArea (480, 5, 110, 30);
    EXPECT_TRUE (anyPixel (freebie.createComponentSnapshot (freebie.getLocalBounds()), freebieArea, isGreen));
    EXPECT_FALSE (anyPixel (paid.createComponentSnapshot (paid.getLocalBounds()), freebieArea, isGreen));

    // Only the VST3 badge is green.
    auto image = paid.createComponentSnapshot (paid.getLocalBounds());
    const int textX = paid.textLeft();
    EXPECT_FALSE (anyPixel (image, { textX - 7, 45, 45, 22 }, isGreen));
    EXPECT_TRUE (anyPixel (image, { textX + 38, 45, 45, 22 }, isGreen));
    EXPECT_FALSE (anyPixel (image, { textX + 83, 45, 45, 22 }, isGreen));
    EXPECT_FALSE (anyPixel (image, { textX + 128, 45, 45, 22 }, isGreen));
}

// The row half of Product: what the product list shows for one product.
#include "Product.h"

#include "RowDescription.h"
#include "ThumbnailImage.h"

#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/VortelDialog.h"

namespace
{
    void drawText (juce::Graphics& g, const juce::String& text, int x, int y, int w, int h,
                   juce::Justification justification)
    {
        g.drawText (text, x, y, w, h, justification, true);
    }
}

void Product::initialiseRow()
{
    for (auto* child : std::initializer_list<juce::Component*> { &installButton, &uninstallButton, &thumbnail, &progressBar })
    {
        addChildComponent (child);
        // The card keeps its hover outline while the pointer is over a child.
        child->addMouseListener (this, false);
    }

    installButton.setIcon (Icons::fromStrokePaths ({ "m21 15v4a2 2 0 0 1 -2 2h-14a2 2 0 0 1 -2-2v-4", "m7 10 5 5 5-5", "m12 15v-12" }));
    uninstallButton.setIcon (Icons::fromStrokePaths ({ "m3 6h2 16", "m19 6-2 14a2 2 0 0 1 -2 2h-6a2 2 0 0 1 -2-2l-2-14",
                                                       "m10 11v6", "m14 11v6", "m5 6 1-3h12l1 3" }));
    installButton.setButtonText (actionText);
    uninstallButton.setButtonText ("Uninstall");

    installButton.onClick   = [this] { installClicked(); };
    uninstallButton.onClick = [this] { uninstallClicked(); };

    thumbnail.setImagePlacement (juce::RectanglePlacement::centred);
    progressBar.setProgress (1.0);

    // The row's own title says what the picture would.
    thumbnail.setAccessible (false);
    progressBar.setTitle ("Progress");
}

//==============================================================================
juce::String Product::spokenSummary() const
{
    return RowDescription::spoken ({ name, statusText, updateAvailable.load(), latestVersion, isDemo, isFreebie, isNFR });
}

std::unique_ptr<juce::AccessibilityHandler> Product::createAccessibilityHandler()
{
    return std::make_unique<LiveTitleHandler> (*this, juce::AccessibilityRole::listItem, [this] { return spokenSummary(); });
}

void Product::focusOfChildComponentChanged (FocusChangeType cause)
{
    // A click lands on a button the user already sees; the list stays put.
    if (cause == focusChangedByMouseClick || ! hasKeyboardFocus (true))
        return;

    auto* view = findParentComponentOfClass<juce::Viewport>();

    if (view == nullptr || view->getViewedComponent() != getParentComponent())
        return;

    const auto position = view->getViewPosition();

    if (getY() < position.y)
        view->setViewPosition (position.x, getY());
    else if (getBottom() > position.y + view->getViewHeight())
        view->setViewPosition (position.x, getBottom() - view->getViewHeight());
}

//==============================================================================
void Product::installClicked()
{
    if (installButton.getButtonText() == busyText)
        stopInstall();
    else if (mayStartInstall == nullptr || mayStartInstall())
        startInstall();
}

void Product::uninstallClicked()
{
    if (isDownloadRunning() || isInstallRunning())
        return;

    VortelDialog::showConfirm (this, "Uninstall",
                               "Are you sure you want to uninstall " + name + "? Presets and samples will be kept.",
                               "Uninstall", [this] { startUninstall(); });
}

//==============================================================================
void Product::mouseEnter (const juce::MouseEvent&)
{
    hovered = true;
    repaint();
}

void Product::mouseExit (const juce::MouseEvent&)
{
    hovered = false;
    repaint();
}

int Product::textLeft() const
{
    return thumbnail.getRight() + 20;
}

void Product::resized()
{
    const auto w = getWidth(), h = getHeight();

    // Decoded once per size, not on every layout pass.
    if (const auto source = juce::File::isAbsolutePath (thumbnailFile) ? juce::File (thumbnailFile) : juce::File();
        source.existsAsFile() && h > 5 && (thumbnailImage.isNull() || thumbnailImage.getWidth() != h - 5))
        thumbnailImage = ThumbnailImage::render (source, h - 5);

    thumbnail.setImage (thumbnailImage);
    thumbnail.setBounds (5, 5, h - 10, h - 10);
    thumbnail.setVisible (true);

    // While an install runs the button must stay a stop button, whatever
    // caused this layout pass.
    installButton.setButtonText (installBusy ? busyText : actionText);
    installButton.setBounds (w - 120, 70, 110, 30);
    installButton.setVisible (true);

    uninstallButton.setButtonText (uninstallBusy ? "Uninstalling..." : "Uninstall");
    uninstallButton.setBounds (w - 120, 105, 110, 30);
    uninstallButton.setEnabled (anyFormatInstalled() && ! uninstallBusy);
    uninstallButton.setVisible (true);

    // Heard with each button, since the keyboard stops on the buttons, not the row.
    for (auto* button : { &installButton, &uninstallButton })
        button->setDescription (spokenSummary());

    progressBar.setBounds (162, 80, 200, 8);
    progressBar.setVisible (true);
}

void Product::paint (juce::Graphics& g)
{
    const auto w = getWidth(), h = getHeight();
    const juce::Rectangle<float> card (2.0f, 2.0f, (float) (w - 4), (float) (h - 4));

    if (hovered)
    {
        g.setColour (juce::Colours::white.darker (0.02f));     // 250 of 255
        g.fillRoundedRectangle (card, 7.0f);
        g.setColour (Palette::lightGrey);
        g.drawRoundedRectangle (card, 7.0f, 1.0f);
    }
    else
    {
        g.setColour (juce::Colours::white);
        g.fillRoundedRectangle (card, 7.0f);
    }

    const auto textX = textLeft();

    const auto nameFont = juce::Font (20.0f, juce::Font::bold);
    const auto nameWidth = (int) nameFont.getStringWidthFloat (name) + 8;
    g.setColour (juce::Colours::black);
    g.setFont (nameFont);
    drawText (g, name, textX, 10, nameWidth, 30, juce::Justification::centredLeft);

    const auto statusFont = juce::Font (14.0f);
    const auto statusWidth = (int) statusFont.getStringWidthFloat (statusText);
    g.setColour (Palette::mutedText);
    g.setFont (statusFont);
    drawText (g, statusText, textX + nameWidth, 12, 110, 30, juce::Justification::centredLeft);

    if (updateAvailable)
    {
        g.setColour (Palette::orange);
        drawText (g, "Update Available! (v" + latestVersion + ")", textX + nameWidth + statusWidth + 10, 12, 140, 30,
                  juce::Justification::centredLeft);
    }

    if (isFreebie)
    {
        g.setColour (Palette::green);
        g.setFont (juce::Font (16.0f));
        drawText (g, "Freebie", w - 120, 5, 110, 30, juce::Justification::centred);
    }

    g.setFont (juce::Font (14.0f));
    const std::pair<const char*, bool> badges[] = { { "VST2", installedVST2 }, { "VST3", installedVST3 },
                                                    { "AAX", installedAAX }, { "CLAP", installedCLAP } };

    for (int i = 0; i < 4; ++i)
    {
        g.setColour (badges[i].second ? Palette::green : Palette::lightGrey);
        drawText (g, badges[i].first, textX - 7 + 45 * i, 45, 45, 22, juce::Justification::centred);
    }
}

// Renders the look and feel, the dialogs and the settings page into PNG files,
// so they can be looked at without driving the app by hand.
//
// usage: quillotone-showcase OUTDIR   (HOME decides where settings are read)

#include <juce_gui_basics/juce_gui_basics.h>

#include "ui/SettingsPage.h"
#include "ui/VortelDialog.h"
#include "ui/VortelLookAndFeel.h"

namespace
{
    void save (juce::Component& component, const juce::File& file)
    {
        auto image = component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat().writeImageToStream (image, out);
        std::printf ("%s\n", file.getFullPathName().toRawUTF8());
    }

    void pump (int ms)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
    }

    /** Buttons in every state drawn by the look and feel, toggles, a combo box
        with its menu open, a tooltip, and a dialog over it all.
    */
    struct Showcase final : public juce::Component
    {
        Showcase()
        {
            QuillotoneVortel::applyManagerPalette (lf);
            setLookAndFeel (&lf);
            setSize (900, 700);

            for (auto* t : { &toggleOn, &toggleOff })
                addAndMakeVisible (t);

            toggleOn.setButtonText ("VST3");
            toggleOn.setToggleState (true, juce::dontSendNotification);
            toggleOff.setButtonText ("AAX");
            toggleOn.setBounds (40, 230, 200, 30);
            toggleOff.setBounds (40, 265, 200, 30);

            sort.addItemList ({ "Name: A-Z", "Name: Z-A", "Updates First", "Installed First" }, 1);
            sort.setSelectedId (3, juce::dontSendNotification);
            sort.setBounds (300, 230, 152, 23);
            addAndMakeVisible (sort);

            segment.setButtonText ("Segment");
            segment.setConnectedEdges (juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight);
            segment.setBounds (600, 230, 100, 30);
            addAndMakeVisible (segment);
        }

        ~Showcase() override { setLookAndFeel (nullptr); }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (juce::Colour (0xfff0f0f1));
            g.setColour (juce::Colour (0xff202020));
            g.setFont (juce::Font (24.0f, juce::Font::bold));
            g.drawText ("Buttons", 40, 20, 300, 30, juce::Justification::centredLeft);

            const char* captions[] = { "Normal", "Highlighted", "Pressed", "Disabled" };

            for (int i = 0; i < 4; ++i)
            {
                juce::TextButton button (captions[i]);
                button.setLookAndFeel (&lf);
                button.setBounds (0, 0, 120, 32);
                button.setEnabled (i != 3);

                juce::Graphics::ScopedSaveState state (g);
                g.setOrigin (40 + i * 140, 70);
                lf.drawButtonBackground (g, button, button.findColour (juce::TextButton::buttonColourId), i == 1, i == 2);
                lf.drawButtonText (g, button, i == 1, i == 2);
                button.setLookAndFeel (nullptr);
            }

            // The tooltip as the look and feel draws it.
            auto tip = lf.getTooltipBounds ("Installs every selected format", { 620, 120 }, getLocalBounds());
            juce::Graphics::ScopedSaveState state (g);
            g.setOrigin (tip.getPosition());
            lf.setColour (juce::TooltipWindow::backgroundColourId, juce::Colour (0xf2bbbab6));
            lf.setColour (juce::TooltipWindow::outlineColourId, juce::Colour (0x73858482));
            lf.drawTooltip (g, "Installs every selected format", tip.getWidth(), tip.getHeight());
        }

        QuillotoneVortel::VortelLookAndFeel lf;
        juce::ToggleButton toggleOn, toggleOff;
        juce::ComboBox sort;
        juce::TextButton segment;
    };

    /** A stand-in for the window content, so dialogs cover 900 x 700. */
    struct Backdrop final : public juce::Component
    {
        Backdrop()
        {
            QuillotoneVortel::applyManagerPalette (lf);
            setLookAndFeel (&lf);
            setSize (900, 700);
        }

        ~Backdrop() override { setLookAndFeel (nullptr); }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (juce::Colour (0xfff0f0f1));
            juce::Path panel;
            panel.addQuadrilateral (0.0f, 90.0f, 210.0f, 105.0f, 210.0f, 460.0f, 0.0f, 445.0f);
            g.setColour (juce::Colour (0xffd3d3d3));
            g.fillPath (panel);
            g.setColour (juce::Colour (0xffb7b7b7));
            g.drawLine (210.0f, 0.0f, 210.0f, 670.0f);
            g.drawLine (0.0f, 670.0f, 900.0f, 670.0f);
        }

        QuillotoneVortel::VortelLookAndFeel lf;
    };
}

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }

    // Without an application object the framework's first native window dies
    // on an X error; say there is none.
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI framework;
    juce::File out (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));

    // Default fonts resolve through the default look and feel, as in the app.
    QuillotoneVortel::VortelLookAndFeel fontsLookAndFeel;
    juce::LookAndFeel::setDefaultLookAndFeel (&fontsLookAndFeel);
    juce::Typeface::clearTypefaceCache();
    out.createDirectory();

    {
        Showcase showcase;
        // Menus only open over a component that is showing.
        showcase.setVisible (true);
        showcase.addToDesktop (0);
        showcase.toFront (true);
        showcase.grabKeyboardFocus();
        pump (200);
        showcase.sort.showPopup();
        pump (300);

        save (showcase, out.getChildFile ("showcase.png"));
        juce::PopupMenu::dismissAllActiveMenus();
        pump (100);

        auto dialog = VortelDialog::showConfirm (&showcase, "Log Out",
                                                 "Are you sure you want to log out?\nYou will need to enter your credentials again to log back in.",
                                                 "Log Out", nullptr);
        pump (100);
        save (showcase, out.getChildFile ("showcase-dialog.png"));
        dialog->dismiss();
        pump (50);
    }

    {
        Backdrop backdrop;
        struct Kind { int kind; const char* title; const char* message; const char* file; };
        const Kind kinds[] = {
            { VortelDialog::notice, "Clear Cache", "Cache cleared.", "dialog-notice.png" },
            { VortelDialog::alert, "Sync", "Could not connect to the Quillotone servers.", "dialog-alert.png" },
            { VortelDialog::confirm, "Uninstall", "Do you really want to uninstall Big Room Verb?", "dialog-confirm.png" },
        };

        for (auto& k : kinds)
        {
            auto dialog = k.kind == VortelDialog::confirm ? VortelDialog::showConfirm (&backdrop, k.title, k.message, "Uninstall", nullptr)
                                                          : VortelDialog::showMessage (&backdrop, k.title, k.message, k.kind);
            pump (50);
            save (backdrop, out.getChildFile (k.file));
            dialog->dismiss();
            pump (50);
        }

        MakerFolders folders;
        SettingsPage settings (folders);
        backdrop.addAndMakeVisible (settings);
        settings.setBounds (backdrop.getLocalBounds());
        settings.loadManagerSettings();
        pump (50);
        save (backdrop, out.getChildFile ("settings.png"));
    }

    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
    return 0;
}

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace QuillotoneVortel
{

/**
    The colour and geometry rules of the look and feel, as plain functions so
    that they can be checked without drawing anything.
*/
namespace Rules
{
    /** Each channel c becomes 255 - (255 - c) / divisor: towards white. */
    juce::Colour lightenChannels (juce::Colour colour, float divisor);

    /** Each channel c becomes c / divisor: towards black. */
    juce::Colour darkenChannels (juce::Colour colour, float divisor);

    /** Each channel multiplied by a factor; alpha unchanged. */
    juce::Colour scaleChannels (juce::Colour colour, float factor);

    /** The face colour of a button for its state. */
    juce::Colour buttonFillColour (juce::Colour background, bool enabled, bool highlighted, bool pressed, bool darkStyle);

    /** The outline colour of a button for its state, from the look and feel's textColourOffId. */
    juce::Colour buttonOutlineColour (juce::Colour textColourOff, bool enabled, bool highlighted, bool pressed);

    /** The text colour of a button, from its textColourOnId. */
    juce::Colour buttonTextColour (juce::Colour textColourOn, bool enabled);

    /** The button's outline path; corners on connected edges (the framework's
        ConnectedEdgeFlags) are square. Empty when either side is 1 or less.
    */
    juce::Path buttonShape (float width, float height, int connectedEdgeFlags);

    /** Where a tooltip of the given size goes for the mouse position: to the
        side and above or below away from the nearer edges, then kept inside.
    */
    juce::Rectangle<int> placeTooltip (juce::Point<int> mouse, juce::Rectangle<int> parentArea, int width, int height);

    /** The highlighted popup-menu row's fill. */
    juce::Colour menuHighlightColour (juce::Colour highlight, float highlightAmount, float menuOpacity, bool darkStyle);
}

//==============================================================================
/**
    The manager's flat, light style for every framework widget, drawn with the
    two embedded Open Sans faces.

    The main component and the login window each own one instance; the owner
    sets the palette and the four style properties after construction.
*/
class VortelLookAndFeel : public juce::LookAndFeel_V3
{
public:
    /** The look and feel's own colour identifier that outlines popup menus.
        The palette also fills its four neighbours (0x1007400 to 0x1007800).
        The focus outline, drawn around the control that the keyboard reached,
        is the accent colour.
    */
    enum ColourIds
    {
        menuOutlineColourId = 0x1007700,
        focusOutlineColourId = 0x1007900
    };

    VortelLookAndFeel();
    ~VortelLookAndFeel() override = default;

    float highlightAmount = 0.06f;
    float menuOpacity = 1.0f;
    float tickOffsetY = 0.0f;
    bool darkStyle = true;

    //==============================================================================
    int getMinimumScrollbarThumbSize (juce::ScrollBar&) override;
    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool highlighted, bool down) override;
    juce::Font getTextButtonFont (juce::TextButton&, int buttonHeight) override;
    void drawButtonText (juce::Graphics&, juce::TextButton&, bool highlighted, bool down) override;
    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool highlighted, bool down) override;
    void drawTickBox (juce::Graphics&, juce::Component&, float x, float y, float w, float h,
                      bool ticked, bool isEnabled, bool highlighted, bool down) override;

    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;
    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu,
                            const juce::String& text, const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* textColour) override;
    void drawPopupMenuSectionHeader (juce::Graphics&, const juce::Rectangle<int>& area, const juce::String& sectionName) override;
    juce::Font getPopupMenuFont() override;
    void drawPopupMenuUpDownArrow (juce::Graphics&, int width, int height, bool isScrollUpArrow) override;
    juce::Component* getParentComponentForMenuOptions (const juce::PopupMenu::Options&) override;
    int getPopupMenuBorderSize() override;

    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void positionComboBoxText (juce::ComboBox&, juce::Label&) override;
    juce::PopupMenu::Options getOptionsForComboBoxPopupMenu (juce::ComboBox&, juce::Label&) override;

    juce::Font getLabelFont (juce::Label&) override;
    juce::Font getSliderPopupFont (juce::Slider&) override;

    void drawCornerResizer (juce::Graphics&, int w, int h, bool isMouseOver, bool isMouseDragging) override;
    void drawResizableFrame (juce::Graphics&, int w, int h, const juce::BorderSize<int>&) override;

    juce::Rectangle<int> getTooltipBounds (const juce::String& tipText, juce::Point<int> screenPos,
                                           juce::Rectangle<int> parentArea) override;
    void drawTooltip (juce::Graphics&, const juce::String& text, int width, int height) override;

private:
    juce::TextLayout layoutTooltipText (const juce::String& text, juce::Colour colour);

    std::unique_ptr<juce::Drawable> cornerIcon;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VortelLookAndFeel)
};

/** Installs the manager's palette and style properties on a look and feel. */
void applyManagerPalette (VortelLookAndFeel&);

} // namespace QuillotoneVortel

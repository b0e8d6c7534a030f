#include <gtest/gtest.h>

#include "account/ServiceTexts.h"
#include "products/Product.h"
#include "support/StandIn.h"
#include "support/TestHelpers.h"
#include "ui/MainComponent.h"

#include <set>

using testing_support::ScopedHome;
using testing_support::StandIn;
using testing_support::waitUntil;

namespace
{
    bool isInteractive (juce::AccessibilityRole role)
    {
        using R = juce::AccessibilityRole;
        return role == R::button || role == R::toggleButton || role == R::radioButton || role == R::comboBox
            || role == R::editableText || role == R::hyperlink || role == R::slider || role == R::menuItem;
    }

    bool hasAction (const juce::AccessibilityHandler& h)
    {
        using A = juce::AccessibilityActionType;
        const auto& actions = h.getActions();

        if (actions.contains (A::press) || actions.contains (A::toggle) || actions.contains (A::showMenu))
            return true;

        return h.getTextInterface() != nullptr && ! h.getTextInterface()->isReadOnly();
    }

    // What the Tab order is compared by: the spoken title, and a row button's row.
    juce::String nameOf (juce::Component* c)
    {
        auto* handler = c != nullptr ? c->getAccessibilityHandler() : nullptr;

        if (handler == nullptr)
            return "<no handler>";

        auto name = handler->getTitle();

        if (auto* row = c->findParentComponentOfClass<Product>())
            name << ":" << row->name;

        return name;
    }

    struct Screen
    {
        Screen()
        {
            main.addToDesktop (0);
            main.setVisible (true);
        }

        ~Screen() { main.removeFromDesktop(); }

        bool start()
        {
            return waitUntil ([this] { main.grabKeyboardFocus(); return main.hasKeyboardFocus (true); });
        }

        void key (int code, juce::ModifierKeys modifiers = {})
        {
            main.getPeer()->handleKeyPress (juce::KeyPress (code, modifiers, 0));
            juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
        }

        // Tab from the focused control round to it again; the names on the way.
        juce::StringArray tabCycle()
        {
            auto* first = juce::Component::getCurrentlyFocusedComponent();
            juce::StringArray names { nameOf (first) };
            visited = { first };

            for (int i = 0; i < 200; ++i)
            {
                key (juce::KeyPress::tabKey);
                auto* now = juce::Component::getCurrentlyFocusedComponent();

                if (now == first)
                    break;

                names.add (nameOf (now));
                visited.insert (now);

                // A row the keyboard reaches scrolls into its list's view.
                if (auto* row = now != nullptr ? now->findParentComponentOfClass<Product>() : nullptr)
                {
                    EXPECT_TRUE (row->findParentComponentOfClass<juce::Viewport>()->getViewArea().contains (row->getBounds())) << row->name;
                }
            }

            return names;
        }

        // Every interactive element of the tree has a title and an action and
        // is one that Tab reaches.
        void checkTree (const juce::String& page)
        {
            std::function<void (juce::AccessibilityHandler&)> walk = [&] (juce::AccessibilityHandler& h)
            {
                if (isInteractive (h.getRole()))
                {
                    EXPECT_TRUE (h.getTitle().isNotEmpty()) << page << ": untitled " << typeid (h.getComponent()).name();
                    EXPECT_TRUE (hasAction (h)) << page << ": no action for " << h.getTitle();
                    EXPECT_EQ (visited.count (&h.getComponent()), 1u) << page << ": Tab never reaches " << h.getTitle();
                }

                for (auto* child : h.getChildren())
                    walk (*child);
            };

            auto* root = main.getAccessibilityHandler();
            ASSERT_NE (root, nullptr);
            walk (*root);
        }

        ScopedHome home;
        MainComponent main;
        std::set<juce::Component*> visited;
    };

    juce::StringArray rowsInView (const juce::OwnedArray<Product>& rows)
    {
        juce::Array<Product*> shown;

        for (auto* row : rows)
            if (row->isVisible())
                shown.add (row);

        std::sort (shown.begin(), shown.end(), [] (Product* a, Product* b) { return a->getY() < b->getY(); });

        juce::StringArray names;

        for (auto* row : shown)
        {
            names.add (row->getInstallButton().getButtonText() + ":" + row->name);

            if (row->getUninstallButton().isEnabled())
                names.add ("Uninstall:" + row->name);
        }

        return names;
    }
}

TEST (KeyboardAccess, EveryPageReadsOutAndTabsInVisualOrder)
{
    StandIn server;
    REQUIRE_STANDIN (server);
    Screen s;
    ASSERT_TRUE (s.start());

    // At start the e-mail field has the keyboard, and only the form is reachable.
    auto& login = s.main.getLoginWindow();
    EXPECT_TRUE (login.getEmailField().hasKeyboardFocus (false));
    const juce::StringArray form { ServiceTexts::emailPlaceholder(), ServiceTexts::passwordPlaceholder(),
                                   ServiceTexts::rememberCaption(), ServiceTexts::loginCaption(),
                                   ServiceTexts::leftLinkCaption(), ServiceTexts::rightLinkCaption() };
    EXPECT_EQ (s.tabCycle(), form);
    s.checkTree ("login");

    // Return in the password field logs in.
    login.getEmailField().setText ("demo@quillotone.test", false);
    login.getPasswordField().setText ("quillotone", false);
    s.key (juce::KeyPress::tabKey);
    ASSERT_TRUE (login.getPasswordField().hasKeyboardFocus (false));
    s.key (juce::KeyPress::returnKey);
    ASSERT_TRUE (waitUntil ([&] { return s.main.getAccountEmail().isNotEmpty(); }, 20000));
    ASSERT_TRUE (waitUntil ([&] { return ! s.main.isBusy() && ! s.main.isSyncRunning() && ! login.isVisible(); }, 30000));
    ASSERT_TRUE (waitUntil ([&] { return s.main.getMenuLabel (MainComponent::Page::purchases).hasKeyboardFocus (false); }));

    const juce::StringArray menu { "Purchases", "Demo", "Settings", "Support", "Log Out" };
    const auto sortText = s.main.getSortBox().getText();

    struct Page { MainComponent::Page page; const char* name; juce::StringArray after; };
    juce::StringArray purchases { "Install All", "Uninstall All", "Search plugins", sortText, "Sync" };
    purchases.addArray (rowsInView (s.main.getProducts()));
    juce::StringArray demo { "Search plugins", sortText, "Sync" };
    demo.addArray (rowsInView (s.main.getDemos()));
    juce::StringArray settings { "VST2", "VST3", "AAX", "CLAP", "Clear cache: All", "Clear cache: Installers", "Clear cache: Thumbnails" };

    for (juce::String format : { "VST2", "VST3", "AAX", "CLAP" })
    {
        settings.add (format + " folder");
        settings.add ("Choose the " + format + " folder");
    }

    settings.add ("Samples folder");
    settings.add ("Choose the samples folder");

    const Page pages[] = {
        { MainComponent::Page::purchases, "Purchases", purchases },
        { MainComponent::Page::demo, "Demo", demo },
        { MainComponent::Page::settings, "Settings", settings },
        { MainComponent::Page::support, "Support", { "Create Support Ticket", "Check F.A.Q.", "Browse Manuals (PDF)" } },
    };

    for (const auto& page : pages)
    {
        auto& item = s.main.getMenuLabel (page.page);
        ASSERT_TRUE (waitUntil ([&] { item.grabKeyboardFocus(); return item.hasKeyboardFocus (false); }));
        s.key (juce::KeyPress::returnKey);
        ASSERT_EQ (s.main.getCurrentPage(), page.page) << page.name;

        // From the page's own menu entry round to it again.
        auto expected = menu;
        expected.removeRange (0, (int) page.page);
        expected.addArray (page.after);
        expected.addArray (menu, 0, (int) page.page);
        EXPECT_EQ (s.tabCycle(), expected) << page.name;
        s.checkTree (page.name);
    }
}

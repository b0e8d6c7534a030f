#include "app/PluginManagerApplication.h"

START_JUCE_APPLICATION (PluginManagerApplication)

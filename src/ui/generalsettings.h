#pragma once

#include "profiles/preferences.h"

// Where the live batch options and the other General preferences are held:
// the Settings window's controls once that window exists. The main window
// reads them when a batch needs them and when it saves the preferences.
class IGeneralSettings
{
public:
    virtual ~IGeneralSettings() = default;
    virtual GeneralPreferences generalPreferences() const = 0;
};

// The General preferences as read at start-up, unchanged while the program runs.
class StoredGeneralSettings final : public IGeneralSettings
{
public:
    explicit StoredGeneralSettings(GeneralPreferences preferences = {})
        : m_preferences(std::move(preferences))
    {
    }
    GeneralPreferences generalPreferences() const override { return m_preferences; }

private:
    GeneralPreferences m_preferences;
};

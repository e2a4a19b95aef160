#pragma once

#include "setup/GameSetup.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace turnpost {

/// How a field is held and written.
enum class SetupFieldKind
{
    Text,
    Integer,
    /// An integer flag that version-1 files carry as a string: on exactly when it is "t".
    TextFlag,
    /// Text that holds one entry per line; JSON gives it as a list of strings.
    Lines,
};

/// One field of the game setup (the players aside): its name in the extension block and in JSON, its
/// member, and where the setup file keeps it.
struct SetupField
{
    const char* Name;
    SetupFieldKind Kind;
    std::string GameSetup::*Text;     ///< set for Text and Lines
    std::int32_t GameSetup::*Integer; ///< set for Integer and TextFlag
    /// In the body before the players for file versions FirstVersion to LastVersion; 0 and 0 for a
    /// field that lives in the extension block after them.
    std::int32_t FirstVersion;
    std::int32_t LastVersion;

    bool InExtension() const { return FirstVersion == 0; }
    bool InBody(std::int32_t version) const { return FirstVersion <= version && version <= LastVersion; }
};

/// Every field, in the order of the setup file: the body's fields first, then the extension's.
std::span<const SetupField> SetupFields();

/// The field called name, or nullptr.
const SetupField* FindSetupField(std::string_view name);

/// The field's value as the extension block writes it: text as it is, integers in decimal.
std::string SetupFieldText(const SetupField& field, const GameSetup& setup);

/// Sets the field from its extension-block text. An integer must be plain decimal (an optional minus
/// sign and digits) within 32 bits; false leaves the setup unchanged.
bool SetSetupFieldText(const SetupField& field, const std::string& text, GameSetup& setup);

/// The field holds the value a fresh setup has.
bool SetupFieldIsFresh(const SetupField& field, const GameSetup& setup);

/// Gives the field its fresh value.
void ResetSetupField(const SetupField& field, GameSetup& setup);

} // namespace turnpost

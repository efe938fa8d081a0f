#pragma once

#include <string_view>

#include "config/options.h"
#include "config/palette.h"
#include "core/failure.h"
#include "ziggy/diagnostic.h"
#include "ziggy/schema.h"
#include "ziggy/token.h"
#include "ziggy/token_stream.h"

namespace lumo {

/// Reads a style value from its first token: "@", the identifier `color`,
/// "(", a string holding a style text (no backslashes), ")". Stops on the
/// ")". A wrong token is `unexpected`; another tag, a backslash or a style
/// text that parseStyle rejects is `syntax`.
Status readStyleValue(ziggy::TokenStream& tokens, ziggy::Token first, TextStyle& style);

/// The configuration file's record: seven optional booleans and an optional
/// palette whose eighteen slot fields are all required style values.
const ziggy::Schema<Config>& configSchema();

/// Binds a configuration document. Syntax with the problem recorded in
/// `diagnostic`, or OutOfMemory.
Result<Config> parseConfig(std::string_view text, ziggy::Diagnostic& diagnostic);

}  // namespace lumo

#pragma once
// The tool's own texts in the operator's language, from the message catalogue
// "kesp_config_net" beside the console's "kesp_login". The English texts are
// the catalogue keys, marked with tr() and trf() for xgettext. Values go into
// "{1}", "{2}", ... so that a translation may put them in its own order.

#include <initializer_list>
#include <string>

namespace kesp_config_net {

/// The translation of text, or text itself when the catalogue has none.
std::string tr(const char* text);

/// tr(text) with every "{n}" replaced by the n-th value (counting from 1).
std::string trf(const char* text, std::initializer_list<std::string> values);

/// Takes the language from the environment (LANG, LC_ALL, LC_MESSAGES) and
/// binds the catalogue: from directory when it is not empty (a build tree),
/// else from the appliance's /opt/tolvex/lib/locale. Only the messages are
/// localised; numbers, character classes and sorting stay as in C, which the
/// checks and the files rely on.
void setUpCatalogue(const std::string& directory);

}  // namespace kesp_config_net

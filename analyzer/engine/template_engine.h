#pragma once
// Templates: symptom texts, report descriptions and message texts are held
// in the database as plain text with variable references, expanded here.
//
//   "%%"                    one "%"
//   "%" TYPE NAME [ "{" MODIFIERS "}" ] "."
//                           a variable reference; it ends at the first "."
//                           after the "%", so neither names nor modifier
//                           lists can hold a "."
//   a "%" ending the text   copied as it stands
//
// TYPE and NAME pick the value:
//   'T' tag name   the data of that entry of the slot's tag table (the entry
//                  itself, not its redirect target)
//   'V' digit n    capture buffer n (Engine().capture[n])
//   'M' digit n    message value n (Engine().msgval[n])
//   'C' digit n    constant n: 0 "|", 1 ",", 2..9 "?"
// MODIFIERS are applied by DoMod (template_mods.h).
//
// Example: "Load %V0.%% on %TCompName{Upper}." with capture 0 "95" and
// CompName "node1" gives "Load 95% on NODE1".

#include <string>

// The result of any template that fails.
extern const char kTemplateError[];  // "*Template error*"

// Expands `templ` against the tag table of `slot` and the engine's capture
// and message buffers. Never fails outright: any error (a reference without
// its ".", an unknown type, a name that is not a tag or not a digit 0..9, an
// unknown modifier) raises a process notification (urgency 'H', abstract
// "Template parse error", "Template variable name error" or "Template mod
// routine error", naming the store file and the template) and the whole
// result is "*Template error*". Expansion stops at the first failed
// reference, so one template raises at most one variable or parse
// notification. A null `templ` expands to "". Touches no database.
std::string UseTemplate(int slot, const char* templ);

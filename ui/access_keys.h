// Access keys: the underlined letter of a label or button that Alt and the letter reach.
// Templates mark them with "&" in their labels; WithAccessKeys gives every label and
// button that has none a letter of its own, unique within the dialog, the way desktop
// toolkits assign them automatically (first letters of words before other letters).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/template.h"

namespace ui {

// The keys of the property sheet's own buttons: &OK, &Cancel, App&ly and &Help (Apply
// leaves A and P to the pages' "&Add" and "&Properties"). The pages leave them free.
inline constexpr std::string_view kSheetAccessKeys = "oclh";

// Whether `c` carries an access key: buttons (OK and Cancel too, though Enter and Escape
// also reach them), check boxes, radio buttons and the label beside a field.
bool TakesAccessKey(const Control& c);

// The access key marked in `label`, lower case; 0 when it has none ("&&" is a literal).
char AccessKeyOf(const std::string& label);

// `label` with `key` (a letter or digit, any case) marked at its best place: the first
// letter of a word, else the first occurrence. Unchanged when `label` already has a mark
// or does not contain `key`.
std::string MarkAccessKey(const std::string& label, char key);

// `t` with an access key on every control that takes one and has none yet, in the order
// of the template (OK and Cancel, reached by Enter and Escape anyway, come last and take
// what is left). Marks the template already has stay; `reserved` keys (lower case) are left to the window around
// the dialog. A label whose letters are all taken gets a digit: "Credits to add (&1):".
Template WithAccessKeys(Template t, std::string_view reserved = {});

// What is wrong with the access keys of `t`, one line each ("IDC_X: no access key",
// "IDC_A and IDC_B share alt+a"); empty when every control that takes a key has its own.
std::vector<std::string> AccessKeyProblems(const Template& t, std::string_view reserved = {});

}  // namespace ui

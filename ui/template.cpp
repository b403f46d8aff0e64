#include "ui/template.h"

#include <utility>

namespace ui {

namespace {

Control Make(std::string id, Kind kind, std::string label, unsigned flags) {
    Control c;
    c.id = std::move(id);
    c.kind = kind;
    c.label = std::move(label);
    c.flags = flags;
    return c;
}

}  // namespace

Control Static(std::string id, std::string text, unsigned flags) {
    return Make(std::move(id), Kind::Static, std::move(text), flags);
}

Control Edit(std::string id, std::string label, unsigned flags) {
    return Make(std::move(id), Kind::Edit, std::move(label), flags);
}

Control Check(std::string id, std::string label, unsigned flags) {
    return Make(std::move(id), Kind::Check, std::move(label), flags);
}

Control Radio(std::string id, std::string label, unsigned flags) {
    return Make(std::move(id), Kind::Radio, std::move(label), flags);
}

Control Button(std::string id, std::string label, unsigned flags) {
    return Make(std::move(id), Kind::Button, std::move(label), flags);
}

Control Combo(std::string id, std::string label, unsigned flags) {
    return Make(std::move(id), Kind::Combo, std::move(label), flags);
}

Control List(std::string id, std::string label, unsigned flags, std::vector<int> tabStops) {
    Control c = Make(std::move(id), Kind::List, std::move(label), flags);
    c.tabStops = std::move(tabStops);
    return c;
}

Control Report(std::string id, std::string label, std::vector<std::string> columns,
               unsigned flags) {
    Control c = Make(std::move(id), Kind::Report, std::move(label), flags);
    c.columns = std::move(columns);
    return c;
}

Control Group(std::string id, std::string label, std::vector<Control> children) {
    Control c = Make(std::move(id), Kind::Group, std::move(label), Flag::None);
    c.children = std::move(children);
    return c;
}

Control Row(std::string id, std::vector<Control> children) {
    Control c = Make(std::move(id), Kind::Row, "", Flag::None);
    c.children = std::move(children);
    return c;
}

Control OkCancelRow() {
    return Row("OkCancelRow", {Button(IDOK, "OK", Flag::Default), Button(IDCANCEL, "Cancel")});
}

std::string StripAccelerator(const std::string& label) {
    std::string out;
    out.reserve(label.size());
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] != '&') {
            out += label[i];
        } else if (i + 1 < label.size() && label[i + 1] == '&') {
            out += '&';
            ++i;
        }
    }
    return out;
}

}  // namespace ui

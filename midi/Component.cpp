// SPDX-License-Identifier: GPL-3.0-or-later
#include "Component.h"

TComponent::~TComponent() {
    while (!owned_.empty())
        owned_.pop_back();
}

void TComponent::SetLoading(bool loading) {
    loading_ = loading;
    for (auto& component : owned_)
        component->SetLoading(loading);
}

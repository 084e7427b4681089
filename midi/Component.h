// SPDX-License-Identifier: GPL-3.0-or-later
// The root of the non-visual components: an owner that destroys what it owns, and the loading
// state a form sets while it applies the stored properties of its components.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class TObject {
  public:
    virtual ~TObject() = default;
};

// Event handlers receive the object that raised the event.
using TNotifyEvent = std::function<void(TObject* sender)>;

class TComponent : public TObject {
  public:
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    // Destroys the owned components, newest first.
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // Creates a component owned by this one; it lives until this one is destroyed and shares
    // its loading state.
    template <typename T, typename... Args>
    T& Create(Args&&... args) {
        auto component = std::make_unique<T>(this, std::forward<Args>(args)...);
        T& created = *component;
        created.SetLoading(loading_);
        owned_.push_back(std::move(component));
        return created;
    }

    TComponent* Owner() const { return owner_; }
    bool Loading() const { return loading_; }
    // Set by the form around applying stored properties; applies to the owned components too.
    void SetLoading(bool loading);

  private:
    TComponent* owner_;
    bool loading_ = false;
    std::vector<std::unique_ptr<TComponent>> owned_;
};

#include "runtime/Component.h"

#include <algorithm>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  m_destroying = true;
  // Tell the watchers first: they drop their links to us before we go.
  while (!m_freeNotifies.empty()) {
    TComponent* other = m_freeNotifies.back();
    m_freeNotifies.pop_back();
    auto& theirs = other->m_freeNotifies;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
  if (m_owner) m_owner->RemoveComponent(this);
}

void TComponent::DestroyComponents() noexcept {
  while (!m_components.empty()) {
    TComponent* child = m_components.back();
    m_components.pop_back();
    child->m_owner = nullptr;
    // Siblings that link to the child hear of it before it goes.
    Notification(child, TOperation::opRemove);
    delete child;
  }
}

void TComponent::InsertComponent(TComponent* child) {
  m_components.push_back(child);
  child->m_owner = this;
  Notification(child, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* child) {
  Notification(child, TOperation::opRemove);
  m_components.erase(std::remove(m_components.begin(), m_components.end(), child),
                     m_components.end());
  child->m_owner = nullptr;
}

namespace {

bool IsIdentifier(const std::string& s) {
  if (s.empty()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

}  // namespace

void TComponent::SetName(const std::string& name) {
  if (name == m_name) return;
  if (!name.empty()) {
    if (!IsIdentifier(name)) throw Exception(Format("'%s' is not a valid component name", {name}));
    // Names identify components within their owner (FindComponent).
    if (m_owner)
      for (TComponent* c : m_owner->m_components)
        if (c != this && SameText(c->m_name, name))
          throw Exception(Format("A component named %s already exists", {name}));
  }
  m_name = name;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : m_components)
    if (SameText(c->m_name, name)) return c;
  return nullptr;
}

std::string TComponent::FullComponentName() const {
  std::string result = m_name;
  for (const TComponent* o = m_owner; o; o = o->m_owner) {
    if (o->m_name.empty()) continue;
    result = result.empty() ? o->m_name : o->m_name + "." + result;
  }
  return result;
}

void TComponent::BeginLoading() {
  m_loading = true;
  for (TComponent* c : m_components) c->BeginLoading();
}

void TComponent::EndLoading() {
  for (TComponent* c : m_components) c->EndLoading();
  if (!m_loading) return;
  m_loading = false;
  Loaded();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(m_freeNotifies.begin(), m_freeNotifies.end(), AComponent) == m_freeNotifies.end()) {
    m_freeNotifies.push_back(AComponent);
    AComponent->m_freeNotifies.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  m_freeNotifies.erase(std::remove(m_freeNotifies.begin(), m_freeNotifies.end(), AComponent),
                       m_freeNotifies.end());
  auto& theirs = AComponent->m_freeNotifies;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  // Owned children are told of a component going away too, so a link between
  // two components of one owner is cleared whichever dies first.
  // A copy: a handler may free components of this owner.
  if (Operation == TOperation::opRemove && AComponent != this) {
    std::vector<TComponent*> children = m_components;
    for (TComponent* c : children)
      if (c != AComponent &&
          std::find(m_components.begin(), m_components.end(), c) != m_components.end())
        c->Notification(AComponent, Operation);
  }
}

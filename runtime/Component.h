// The component base: named objects in an ownership tree. An owner destroys
// the components it owns, last created first; components that hold
// non-owning links to others hear of their destruction through free
// notification.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TOperation { opInsert, opRemove };

class TComponent;

class TComponent {
 public:
  // Registers with AOwner (if any), which then owns and destroys this object.
  // Owned components are always heap-allocated: `new TButton(form)`.
  explicit TComponent(TComponent* AOwner = nullptr);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const noexcept { return m_owner; }
  const std::string& Name() const noexcept { return m_name; }
  // A name is empty or an identifier (letters, digits, "_", not starting
  // with a digit) and unique (ignoring case) among the owner's components;
  // otherwise Exception "'%s' is not a valid component name" or
  // "A component named %s already exists".
  virtual void SetName(const std::string& name);

  int ComponentCount() const noexcept { return static_cast<int>(m_components.size()); }
  TComponent* Components(int index) const { return m_components.at(static_cast<size_t>(index)); }
  // The owned component with this name (case-insensitive), or nullptr.
  TComponent* FindComponent(const std::string& name) const;

  // Names of this component and its owners joined by "." from the outermost
  // owner inwards; owners without a name are skipped.
  std::string FullComponentName() const;

  // Loading: between BeginLoading and EndLoading the component is being set up
  // from its stored description; Loaded() runs at the end so that deferred
  // requests (such as opening a dataset) are applied.
  bool IsLoading() const noexcept { return m_loading; }
  void BeginLoading();
  void EndLoading();
  // True while the destructor chain runs (owned children are destroyed first
  // and can see that their owner is going).
  bool IsDestroying() const noexcept { return m_destroying; }

  // Asks to be told (Notification with opRemove) when AComponent is destroyed.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

 protected:
  virtual void Loaded() {}
  // Called when a component this one watches (or owns) is inserted or removed.
  // opInsert reaches the owner from the child's base constructor, before the
  // child's own constructors have run: the owner sees a bare TComponent then.
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Derived destructors call this first so that IsDestroying() holds while
  // they tear down.
  void Destroying() noexcept { m_destroying = true; }

 private:
  void InsertComponent(TComponent* child);
  void RemoveComponent(TComponent* child);
  void DestroyComponents() noexcept;

  TComponent* m_owner = nullptr;  // not owned
  std::string m_name;
  std::vector<TComponent*> m_components;      // owned
  std::vector<TComponent*> m_freeNotifies;    // not owned; mutual links
  bool m_loading = false;
  bool m_destroying = false;
};

// An object of the library's static storage that no static destructor
// touches: at process exit the image's destructors may run before its unload
// function, which still releases the object's contents. It owns no heap
// memory of its own, so nothing is left behind once the contents are
// released and the image is unloaded.
#pragma once

#include <new>

namespace skyfw {

// One object per type T: wrap the type in a distinct holder where two
// places need objects of the same type.
template <typename T>
T& NeverDestroyed() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* object = new (storage) T();
  return *object;
}

}  // namespace skyfw

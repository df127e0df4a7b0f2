#include "runtime/error.hpp"

namespace hfchain {

void raise(const std::string& identifier, const std::string& message) {
    throw Error(identifier, message);
}

void raise_message(const std::string& message) { throw Error(std::string(), message); }

}  // namespace hfchain

#include "core/exceptions.h"

namespace core {

HException::HException(const char* message) {
    if (message) message_ = message;
}

const char* HException::What() const { return message_ ? message_->c_str() : ""; }

CQmException::CQmException(const char* message) {
    if (message) message_ = message;
}

const char* CQmException::What() const { return message_ ? message_->c_str() : ""; }

}  // namespace core

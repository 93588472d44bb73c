// The root of every exception the system raises: a class name and a message.
#pragma once

#include <exception>
#include <string>

namespace stowaway {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message)
      : message_(std::move(message)), address_(__builtin_return_address(0)) {}

  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }
  // The class name, as the process's failure report shows it.
  virtual const char* ClassName() const noexcept { return "Exception"; }
  // Where in the code the exception was raised, as the failure report shows it.
  const void* Address() const noexcept { return address_; }

 private:
  std::string message_;
  const void* address_;
};

// Declares an exception class that derives from Base and adds only its name.
#define STOWAWAY_EXCEPTION_CLASS(Name, Base)                              \
  class Name : public Base {                                              \
   public:                                                                \
    using Base::Base;                                                     \
    const char* ClassName() const noexcept override { return #Name; }     \
  }

// File streams that cannot open or create their file.
STOWAWAY_EXCEPTION_CLASS(EFOpenError, Exception);
STOWAWAY_EXCEPTION_CLASS(EFCreateError, Exception);

}  // namespace stowaway

#include "platform/exceptions.h"

namespace platform {

std::string ExceptionMessage(std::exception_ptr error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace platform

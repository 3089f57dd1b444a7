#include "widgets/MessageService.h"

#include "widgets/QtMessageService.h"

namespace {

std::unique_ptr<TMessageService>& Installed()
{
  static std::unique_ptr<TMessageService> service;
  return service;
}

}  // namespace

TMessageService& TMessageService::Instance()
{
  auto& service = Installed();
  if (!service)
    service = std::make_unique<TQtMessageService>();
  return *service;
}

std::unique_ptr<TMessageService> TMessageService::Install(std::unique_ptr<TMessageService> service)
{
  auto old = std::move(Installed());
  Installed() = std::move(service);
  return old;
}


// vendor-service --site DIR --port N [--log FILE] [--no-content-length PATH] [--throttle PATH:BPS]
// Serves the vendor's web service from a site folder on 127.0.0.1 until interrupted.
#include <signal.h>

#include <iostream>

#include "VendorService.h"

int main(int argc, char** argv) {
  vendor::Options options;
  std::string message;
  if (!vendor::ParseArguments(argc, argv, options, message)) {
    std::cerr << message << std::endl;
    return 2;
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // the server's threads inherit the mask

  vendor::Service service(options);
  if (!service.Start(message)) {
    std::cerr << message << std::endl;
    return 1;
  }
  std::cout << "vendor-service: serving " << options.site << " on http://127.0.0.1:" << service.Port() << std::endl;
  int sig = 0;
  sigwait(&signals, &sig);
  service.Stop();
  return 0;
}

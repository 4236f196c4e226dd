#pragma once
// What the informant needs of its channel to the filter service: the kinds of
// request, a lock per kind and four operations. The real channel is
// CAgencyComms; any other object that offers these can stand in for it.

#include <mutex>

namespace zul {

constexpr int COMMS_URL = 1; // site questions
constexpr int COMMS_APP = 2; // program questions

class CChannel {
  public:
    virtual ~CChannel() = default;

    // Held by the caller across opening, sending and receiving one request of a
    // kind, so each reply is read by the thread that asked.
    virtual std::unique_lock<std::mutex> LockKind(int kind) = 0;
    virtual bool IsConnected(int kind) = 0;
    virtual bool EstablishCommunication(int kind) = 0;
    virtual bool SendCommunication(const char* bytes, int count, int kind) = 0;
    // A receive of zero bytes (the service closed) succeeds and leaves the buffer as it was.
    virtual bool ReceiveCommunication(char* buffer, int capacity, int kind) = 0;
};

} // namespace zul

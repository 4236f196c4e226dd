// TransmitFile and TransmitPackets: memory and file pieces sent in order over
// the socket, files read in chunks at their offsets (the file's own position is
// not moved).

#include "platform/msafd/base_internal.h"
#include "platform/msafd/base_overlapped.h"
#include "platform/msafd/base_procs.h"
#include "platform/sockhost/winsock_api.h"
#include "platform/winsock_ext.h"
#include "platform/wsa_errors.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace msafd {
namespace {

constexpr std::size_t kChunk = 65536;
constexpr std::uint64_t kToEnd = ~std::uint64_t(0);

struct Piece {
    const char* memory = nullptr;
    std::size_t length = 0; // memory pieces
    int file = -1;
    off_t offset = 0;
    std::uint64_t remaining = 0; // file pieces; kToEnd for the rest of the file
};

class TransmitOp : public PendingOp {
  public:
    TransmitOp(SOCKET s, std::vector<Piece> pieces, bool disconnect)
        : pieces_(std::move(pieces)), disconnect_(disconnect), chunk_(kChunk) {
        socket = s;
        write = true;
    }

    bool Attempt(Outcome& outcome) override {
        for (;;) {
            if (!staged_.empty()) {
                ssize_t sent = SendSome(socket, staged_, 0);
                if (sent < 0) {
                    return Failed(outcome);
                }
                sent_ += DWORD(sent);
                continue;
            }
            if (next_ == pieces_.size()) {
                if (disconnect_) {
                    Libc().shutdown(int(socket), SHUT_WR);
                }
                outcome.bytes = sent_;
                return true;
            }
            if (!Stage(outcome)) {
                return true;
            }
        }
    }

  private:
    bool Failed(Outcome& outcome) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        }
        outcome.error = platform::WsaErrorFromErrno(errno);
        outcome.bytes = sent_;
        return true;
    }

    // Stages the next bytes to send; false when a file read failed.
    bool Stage(Outcome& outcome) {
        Piece& piece = pieces_[next_];
        staged_ = Buffers();
        if (piece.memory) {
            staged_.Add(piece.memory, piece.length);
            ++next_;
            return true;
        }
        std::size_t wanted = std::size_t(std::min<std::uint64_t>(piece.remaining, kChunk));
        ssize_t got = ::pread(piece.file, chunk_.data(), wanted, piece.offset);
        if (got < 0) {
            outcome.error = platform::WsaErrorFromErrno(errno);
            outcome.bytes = sent_;
            return false;
        }
        piece.offset += got;
        if (piece.remaining != kToEnd) {
            piece.remaining -= std::uint64_t(got);
        }
        if (got == 0 || piece.remaining == 0) {
            ++next_;
        }
        staged_.Add(chunk_.data(), std::size_t(got));
        return true;
    }

    std::vector<Piece> pieces_;
    std::size_t next_ = 0;
    bool disconnect_;
    std::vector<char> chunk_;
    Buffers staged_;
    DWORD sent_ = 0;
};

Piece MemoryPiece(const void* data, std::size_t length) {
    Piece piece;
    piece.memory = static_cast<const char*>(data);
    piece.length = length;
    return piece;
}

} // namespace

BOOL TransmitFile(SOCKET hSocket, HANDLE hFile, DWORD nNumberOfBytesToWrite,
                  DWORD nNumberOfBytesPerSend, WSAOVERLAPPED* lpOverlapped,
                  TRANSMIT_FILE_BUFFERS* lpTransmitBuffers, DWORD dwReserved) {
    (void)nNumberOfBytesPerSend;
    std::vector<Piece> pieces;
    if (lpTransmitBuffers && lpTransmitBuffers->Head) {
        pieces.push_back(MemoryPiece(lpTransmitBuffers->Head, lpTransmitBuffers->HeadLength));
    }
    if (hFile) {
        Piece file;
        file.file = FileDescriptor(hFile);
        // With a record the offset is the record's; else the file's position.
        file.offset =
            lpOverlapped
                ? off_t((std::uint64_t(lpOverlapped->OffsetHigh) << 32) | lpOverlapped->Offset)
                : ::lseek(file.file, 0, SEEK_CUR);
        file.remaining = nNumberOfBytesToWrite ? nNumberOfBytesToWrite : kToEnd;
        if (file.offset < 0) {
            WSASetLastError(WSAEINVAL);
            return FALSE;
        }
        pieces.push_back(file);
    }
    if (lpTransmitBuffers && lpTransmitBuffers->Tail) {
        pieces.push_back(MemoryPiece(lpTransmitBuffers->Tail, lpTransmitBuffers->TailLength));
    }
    return RunExtension(
        std::make_unique<TransmitOp>(hSocket, std::move(pieces), (dwReserved & TF_DISCONNECT) != 0),
        lpOverlapped, nullptr);
}

BOOL TransmitPackets(SOCKET hSocket, TRANSMIT_PACKETS_ELEMENT* lpPacketArray, DWORD nElementCount,
                     DWORD nSendSize, WSAOVERLAPPED* lpOverlapped, DWORD dwFlags) {
    (void)nSendSize;
    std::vector<Piece> pieces;
    for (DWORD i = 0; i < nElementCount; ++i) {
        const TRANSMIT_PACKETS_ELEMENT& element = lpPacketArray[i];
        if (element.dwElFlags & TP_ELEMENT_MEMORY) {
            pieces.push_back(MemoryPiece(element.pBuffer, element.cLength));
        } else if (element.dwElFlags & TP_ELEMENT_FILE) {
            Piece file;
            file.file = FileDescriptor(element.hFile);
            file.offset = element.nFileOffset >= 0 ? off_t(element.nFileOffset)
                                                   : ::lseek(file.file, 0, SEEK_CUR);
            file.remaining = element.cLength ? element.cLength : kToEnd;
            pieces.push_back(file);
        } else {
            WSASetLastError(WSAEINVAL);
            return FALSE;
        }
    }
    return RunExtension(
        std::make_unique<TransmitOp>(hSocket, std::move(pieces), (dwFlags & TF_DISCONNECT) != 0),
        lpOverlapped, nullptr);
}

} // namespace msafd

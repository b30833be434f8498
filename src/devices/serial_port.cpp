#include "devices/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace trakvio {
namespace {

bool SpeedFor(int32_t baud, speed_t& speed) {
    struct Entry {
        int32_t baud;
        speed_t speed;
    };
    static constexpr Entry kSpeeds[] = {
        {1200, B1200},   {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const Entry& e : kSpeeds) {
        if (e.baud == baud) {
            speed = e.speed;
            return true;
        }
    }
    return false;
}

bool ApplyLine(int fd, const SerialSettings& settings) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    speed_t speed;
    if (!SpeedFor(settings.baudRate, speed)) return false;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (settings.byteSize) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        case 8:
            tio.c_cflag |= CS8;
            break;
        default:
            return false;
    }
    // Parity as the configuration numbers it: 0 none, 1 odd, 2 even (mark
    // and space have no portable termios form).
    switch (settings.parity) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        default:
            return false;
    }
    // Stop bits: 0 one, 1 one and a half (two here), 2 two.
    if (settings.stopBits != 0) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

int OpenSerialPort(const std::string& path, const SerialSettings& settings, int& fd) {
    fd = -1;
    int port = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port < 0) return kPortCannotOpen;
    // Another program holding the port exclusively makes this fail; so does
    // taking it ourselves while someone else has it open exclusively.
    if (ioctl(port, TIOCEXCL) != 0) {
        ::close(port);
        return kPortCannotOpen;
    }
    if (tcflush(port, TCIOFLUSH) != 0) {
        ::close(port);
        return kPortCannotPurge;
    }
    if (!ApplyLine(port, settings)) {
        ::close(port);
        return kPortCannotSetLine;
    }
    fd = port;
    return kPortOpened;
}

bool WriteSerial(int fd, std::string_view text, int timeoutMs) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
    }
    return true;
}

long ReadSerial(int fd, char* buffer, size_t room, int timeoutMs) {
    if (room == 0) return 0;
    pollfd p{fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    if (p.revents & POLLIN) {
        ssize_t n;
        do {
            n = ::read(fd, buffer, room);
        } while (n < 0 && errno == EINTR);
        if (n > 0) return n;
        if (n < 0 && errno == EAGAIN) return 0;
        return -1;  // end of file: the device went away
    }
    return -1;  // POLLERR, POLLHUP or POLLNVAL without input
}

void CloseSerialPort(int fd) {
    if (fd < 0) return;
    tcflush(fd, TCIOFLUSH);
    ioctl(fd, TIOCNXCL);  // the device may stay open elsewhere (a terminal's other end)
    ::close(fd);
}

}  // namespace trakvio

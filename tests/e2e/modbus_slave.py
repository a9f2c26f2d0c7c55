"""A Modbus slave from Debian's python3-pymodbus, served on a serial device
(the peer end of a pty pair) for the end-to-end tests: the device that
answers the requests Quorrin builds. Nobody here wrote its framing, CRC or
LRC, so its answers prove ours.

    /usr/bin/python3 modbus_slave.py DEVICE rtu|ascii [--spoil N | --count]
    /usr/bin/python3 modbus_slave.py tcp:PORT tcp|rtu [--spoil N | --count]

The second form serves on 127.0.0.1:PORT: Modbus TCP (MBAP headers), or
RTU frames with their CRC on the socket ("RTU over TCP"). Every answer
leaves the moment its request is read, faster than any device answers.

Slave 1 holds 100 holding registers, register k holding 0x1000 + k (zero
based: a request for address 1 reads register 1). It prints "ready" once the
device is open and "answer FC" for every answer it sends (FC: the answer's
function code in hex, with 0x80 added for an exception), answers until
SIGTERM or SIGINT, then closes the device and exits 0.

With --spoil N the Nth answer (counting from 1) leaves with its last byte
inverted, a broken CRC (RTU) or a broken LR digit (ASCII: the byte before CR
LF), or on Modbus TCP with an MBAP length one too long: the write of the
library's own frame is wrapped, so the rest of the frame is the library's.
Its line reads "answer FC spoiled".

With --count holding register 0 counts up: each answer that read it is
followed by the register one higher (0x1000, 0x1001, ...).
"""
import asyncio
import signal
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server.async_io import (ModbusConnectedRequestHandler, ModbusSerialServer, ModbusSingleRequestHandler,
                                      ModbusTcpServer)
from pymodbus.transaction import ModbusAsciiFramer, ModbusRtuFramer, ModbusSocketFramer

REGISTERS = 100
FIRST_VALUE = 0x1000


COUNT = {"on": False, "slave": None}


def context():
    block = lambda: ModbusSequentialDataBlock(0, [FIRST_VALUE + k for k in range(REGISTERS)])  # noqa: E731
    # zero_mode: the address in a request is the index in the block (the
    # library's default would add one).
    slave = ModbusSlaveContext(di=block(), co=block(), hr=block(), ir=block(), zero_mode=True)
    COUNT["slave"] = slave
    return ModbusServerContext(slaves={1: slave}, single=False)


SPOIL = {"answer": 0}  # the answer to spoil, 0 for none
# Seconds before an answer leaves: none. A pseudo-terminal or a loopback
# socket has no line time, so the answer is read back within the moment of
# its request's write; the capture must still record it after its request.
ANSWER_DELAY = 0


def spoiled(data):
    """The frame as written, or with its check broken when it is the one."""
    SPOIL["sent"] = SPOIL.get("sent", 0) + 1
    if SPOIL["sent"] != SPOIL["answer"]:
        return data, ""
    if SPOIL.get("tcp"):
        length = int.from_bytes(data[4:6], "big") + 1
        return data[:4] + length.to_bytes(2, "big") + data[6:], " spoiled"
    if data.endswith(b"\r\n"):
        at = len(data) - 3
        flip = b"1" if data[at:at + 1] == b"0" else b"0"
    else:
        at = len(data) - 1
        flip = bytes([data[at] ^ 0xFF])
    return data[:at] + flip + data[at + 1:], " spoiled"


def answer_later(transport, data):
    if transport is not None:
        if ANSWER_DELAY:
            asyncio.get_running_loop().call_later(ANSWER_DELAY, lambda: transport.write(data))
        else:
            transport.write(data)


class SpoilingHandler(ModbusSingleRequestHandler):
    def _send_(self, data):
        data, note = spoiled(data)
        answer_later(self.transport, data)
        print(f"answer {SPOIL['code']:02X}{note}", flush=True)


def report(response):
    SPOIL["code"] = response.function_code
    if COUNT["on"] and response.function_code == 3:
        value = COUNT["slave"].getValues(3, 0, 1)[0]
        COUNT["slave"].setValues(3, 0, [(value + 1) & 0xFFFF])
    return response, False


class SpoilingTcpHandler(ModbusConnectedRequestHandler):
    def _send_(self, data):
        data, note = spoiled(data)
        answer_later(self.transport, data)
        print(f"answer {SPOIL['code']:02X}{note}", flush=True)


async def serve(device, framer):
    if device.startswith("tcp:"):
        server = ModbusTcpServer(context(), framer, address=("127.0.0.1", int(device[4:])), allow_reuse_address=True,
                                 ignore_missing_slaves=True, response_manipulator=report, handler=SpoilingTcpHandler,
                                 defer_start=True)
        serving = asyncio.ensure_future(server.serve_forever())
        while server.server is None and not serving.done():
            await asyncio.sleep(0.05)
        if serving.done():
            print(f"cannot listen on {device}", flush=True)
            return 1
    else:
        server = ModbusSerialServer(context(), framer, port=device, baudrate=9600, timeout=0.05,
                                    ignore_missing_slaves=True, response_manipulator=report, handler=SpoilingHandler)
        await server.start()
        if server.transport is None:
            print(f"cannot open {device}", flush=True)
            return 1
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    print("ready", flush=True)
    await stop.wait()
    await server.shutdown()
    return 0


def main():
    device, mode = sys.argv[1], sys.argv[2]
    if len(sys.argv) == 5 and sys.argv[3] == "--spoil":
        SPOIL["answer"] = int(sys.argv[4])
    COUNT["on"] = sys.argv[3:] == ["--count"]
    framer = {"rtu": ModbusRtuFramer, "ascii": ModbusAsciiFramer, "tcp": ModbusSocketFramer}[mode]
    SPOIL["tcp"] = mode == "tcp"
    return asyncio.run(serve(device, framer))


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes the hand-made seeds of the dispatcher fuzzer's corpus (corpus/seed-*).

Each seed is a program in the byte format that dispatcher_fuzzer.cpp reads:
one operation byte (value % 8: 0-2 dispatch, 3-4 setParameter, 5 getParameter,
6-7 processReplacing) followed by that operation's fields. libFuzzer grows
the rest of the corpus from these."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RATES = list(range(13))  # indices into the fuzzer's table of standard rates
TEXT_OPCODES = {4, 27, 51}           # effSetProgramName, effString2Parameter, effCanDo
RATE_OPCODE = 10                     # effSetSampleRate
CHUNK_OPCODE, EVENTS_OPCODE = 24, 25


def dispatch(opcode, index=0, value=0, text=b"", rate=6, null=False, chunk=b"\x04"):
    out = bytes([0, opcode + 8, index + 1, value + 2, 0, 0 if null else 1])
    if opcode == RATE_OPCODE:
        out += bytes([rate])
    elif opcode in TEXT_OPCODES:
        out += bytes([len(text)]) + text + (b"\x01" if len(text) == 6 else b"")
    elif opcode == CHUNK_OPCODE:
        out += chunk
    elif opcode == EVENTS_OPCODE:
        out += bytes([2])
    return out


def set_parameter(index, value255):
    return bytes([3, index + 1, 0, value255])


def get_parameter(index):
    return bytes([5, index + 1])


def process(frames, signal=1, in_place=False, seed=1):
    return bytes([6, frames & 0xff, frames >> 8, signal, 1 if in_place else 0]) + struct.pack("<I", seed)


def write(name, data):
    with open(os.path.join(HERE, "corpus", "seed-" + name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(os.path.join(HERE, "corpus"), exist_ok=True)
    # Every opcode once, around the published range, with text where one is read.
    write("every-opcode", b"".join(dispatch(op, text=b"bypass") for op in range(-8, 88)))
    # Each parameter at both ends, audio in between, at a low and a high rate.
    data = dispatch(RATE_OPCODE, rate=0)
    for index in range(9):
        data += set_parameter(index, 0) + process(64, 2) + set_parameter(index, 255) + process(100, 2)
    data += dispatch(RATE_OPCODE, rate=12) + process(4096, 2) + get_parameter(3)
    write("parameter-extremes", data)
    # Every signal kind at awkward block sizes, separate and in place.
    data = b""
    for signal in range(7):
        for frames in (1, 63, 64, 65, 512, 4096):
            data += process(frames, signal, in_place=frames % 2 == 1, seed=signal * 31 + frames)
    write("signals-and-blocks", data)
    # Programs, names, renames, host bypass, suspend and resume.
    data = b""
    for program in range(9):
        data += dispatch(2, value=program) + dispatch(5) + dispatch(29, index=program) + process(256)
        data += dispatch(44, value=program % 2) + dispatch(12, value=program % 2)
    data += dispatch(4, text=b"A rename far longer than twenty-four characters") + dispatch(5)
    write("programs-and-bypass", data)
    # State chunks of an edited, renamed instance, restored whole, with the
    # tag, version, size, a value and a name damaged, and cut short (kind
    # byte: 128 + the number of edits, + 4 to cut; an edit: offset, xor).
    def own(index, edits=(), cut=None):
        kind = bytes([128 + len(edits) + (0 if cut is None else 4)])
        edit_bytes = b"".join(struct.pack("<HB", at, xor) for at, xor in edits)
        return dispatch(CHUNK_OPCODE, index, chunk=kind + edit_bytes + (struct.pack("<H", cut) if cut else b""))
    data = dispatch(2, value=3) + set_parameter(1, 230) + dispatch(4, text=b"Renamed") + dispatch(23)
    for index in (0, 1):
        data += own(index) + process(128) + own(index, cut=60) + own(index, cut=11)
        for edit in [(0, 0xff), (4, 2), (8, 1), (15, 0x80), (19, 0x7f), (22, 0x10), (60, 0x41)]:
            data += own(index, [edit]) + dispatch(3)
    write("chunks", data)
    # Instances closed and created again between blocks.
    data = b""
    for _ in range(4):
        data += process(300, 1) + dispatch(1) + set_parameter(1, 200) + process(300, 2)
    write("close-and-reopen", data)


if __name__ == "__main__":
    main()

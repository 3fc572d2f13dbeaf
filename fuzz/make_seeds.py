#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are small hand-made inputs: the frame vectors of the RTDM protocol, the shipped
configuration files (data/), and short files with the shapes the INI reader must survive.
The targets read their inputs through libFuzzer's FuzzedDataProvider, which takes numbers from
the end of the input and texts and bytes from the front; the helpers below lay seeds out so.
Run again after changing a target's input layout; the fuzzers grow only copies of these.
"""
import os
import random

ROOT = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(ROOT, '..', 'data')
CORPUS = os.path.join(ROOT, 'corpus')


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def frame(body):
    crc = crc16(body)
    return bytes(body) + bytes([crc & 0xFF, crc >> 8])


def text(s):
    """A FuzzedDataProvider random-length string: backslashes doubled, closed by backslash-n."""
    return s.replace(b'\\', b'\\\\') + b'\\n'


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def data_file(name):
    with open(os.path.join(DATA, name), 'rb') as f:
        return f.read()


def parse_reply():
    # Tail, consumed from the end: command index (0 m, 2 M), bool 1 (small count), count,
    # override 1 (no length override), two bytes of forced length.
    def seed(reply, command, count):
        return bytes(reply) + bytes([0, 0, 1, count, 1, command])
    read_500 = frame(b'+$\xf4\x01#')
    assert read_500 == bytes.fromhex('2b24f401230b4d')
    write('fuzz_parse_reply', 'good_read_500', seed(read_500, 0, 2))
    write('fuzz_parse_reply', 'read_wrong_count', seed(read_500, 0, 4))
    write('fuzz_parse_reply', 'good_write', seed(frame(b'+$OK#'), 2, 0))
    write('fuzz_parse_reply', 'error_code_5', seed(frame(b'-$E\x05#'), 0, 2))
    write('fuzz_parse_reply', 'error_bad_crc', seed(b'-$E\x05#\x00\x00', 2, 0))
    write('fuzz_parse_reply', 'dollar_start', seed(b'$m\x50\x0a\x00\x00\x02\x00#', 0, 2))
    write('fuzz_parse_reply', 'read_count_0', seed(frame(b'+$#'), 0, 0))
    write('fuzz_parse_reply', 'read_40', seed(frame(b'+$' + bytes(range(40)) + b'#'), 0, 40))


SHAPES = {
    'binary': bytes(range(256)) * 2,
    'no_close_bracket': b'[Application\r\nName=x\r\n[Form\r\nTop=5\r\n',
    'key_without_equals': b'[Form]\r\nTop\r\nLeft 7\r\n=9\r\nTop=3\r\n',
    'duplicates': b'[Form]\r\nTop=1\r\nTop=2\r\n[form]\r\nLeft=3\r\n[FORM]\r\nLeft=4\r\n',
    'non_ascii': '[Fôrm]\r\nTöp=1\r\n[Form]\r\nTop=ÿ\r\nNäme=Ωmega\r\n'.encode('utf-8')
                 + b'[\xff\xfe]\r\n\xc3=\xc3\r\n',
    'long_line': b'[Form]\r\nTop=' + b'9' * 3000 + b'\r\n' + b'x' * 2000 + b'\r\n',
    'comments_blanks': b'; note\r\n\r\n  [ Form ]  \r\n  Top = 12  \r\n;Left=1\r\n\tLeft\t=\t4\t\r\n',
    'line_ends': b'[Form]\rTop=1\r[Form]\nLeft=2\r\r\nInitMax=1',
}


def ini():
    for name, content in SHAPES.items():
        write('fuzz_ini', name, text(content) + bytes([3, 0, 4, 1, 2, 0]))
    write('fuzz_ini', 'settings', text(data_file('Kestrova_Interface.INI')) + bytes([0, 1, 4, 5]))


def tag_file():
    tg1 = data_file('KESTROVA_001.TG1')
    write('fuzz_tag_file', 'shipped', tg1)
    write('fuzz_tag_file', 'title_only', b'[TITLE]\r\nVersion=1201\r\n')
    write('fuzz_tag_file', 'bad_float', b'[TITLE]\r\nVersion=1201\r\n[POINT00007]\r\nScaleMult=abc\r\n')
    write('fuzz_tag_file', 'flags_bit31',
          b'[pOiNt00007]\r\nrawvalue=5\r\nPt_Flags=-2147483392\r\nScaleMin=-1E3\r\nName=' +
          b'n' * 80 + b'\r\n')
    for name, content in SHAPES.items():
        write('fuzz_tag_file', name, content)


def project_config():
    ini_file = data_file('Kestrova_Interface.INI')
    cg0 = data_file('KESTROVA_001.CG0')
    write('fuzz_project_config', 'shipped', text(ini_file) + cg0)
    write('fuzz_project_config', 'bad_control_value',
          text(b'[Form]\r\nTop=-5\r\nInitMax=7\r\n') +
          b'[PointControl]\r\nPoint000=3\r\nValue000=1,5\r\nValue001=x\r\n')
    write('fuzz_project_config', 'monitor_ranges',
          text(b'[Ports]\r\nCOM1=/dev/null\r\nCOM2=rel/dev\r\n') +
          b'[PointMonitor]\r\nFormat000=16\r\nFormat001=17\r\nSt0000=128\r\nSt1000=-3\r\n'
          b'[Communications]\r\nTIMPSET3=-1\r\nPersistantMode=x\r\n')
    for name, content in SHAPES.items():
        write('fuzz_project_config', name, text(content) + content)


def parameter_file():
    lines = []
    for n in range(40):
        lines.append(b'[POINT%05d]\r\nScaledValue=%d\r\n' % (n, n * 7 - 20))
    write('fuzz_parameter_file', 'saved', b''.join(lines))
    write('fuzz_parameter_file', 'point10_120', b'[POINT00010]\r\nScaledValue=120\r\n')
    write('fuzz_parameter_file', 'comma_and_bad',
          b'[POINT00000]\r\nScaledValue=0,5\r\n[POINT00003]\r\nScaledValue=1.5.\r\n')
    write('fuzz_parameter_file', 'largest', b'[POINT00001]\r\nScaledValue=1.7976931348623157e308\r\n')
    for name, content in SHAPES.items():
        write('fuzz_parameter_file', name, content)


def random_seeds(target, count, size):
    rng = random.Random(target)
    for i in range(count):
        write(target, 'random_%d' % i, bytes(rng.randrange(256) for _ in range(size)))


def display_update():
    for key, value in [(b'Pan_PosAdjustValue', b'150'), (b'ModeSelect', b'LEGACY'),
                       (b'SoftwareVersionNumber', b'-2147483648'), (b'CommsStatus', b'Comms Good')]:
        write('fuzz_display_update', key.decode(), key + b'\\n' + value + b'\\n' * 8)
    random_seeds('fuzz_display_update', 4, 200)


def telnet_decoder():
    # The read size is the last byte; the stream is everything before it.
    iac, sb, se, do, will = 255, 250, 240, 253, 251
    baud_answer = bytes([iac, sb, 44, 101, 0, 0, iac, iac, iac, iac, iac, se])
    write('fuzz_telnet_decoder', 'data_and_baud', bytes([1, iac, iac, 2]) + baud_answer + bytes([3]))
    write('fuzz_telnet_decoder', 'negotiation',
          bytes([iac, do, 44, iac, will, 0, iac, do, 1, iac, sb, 44, 106, 0x1e, iac, se, 1]))
    random_seeds('fuzz_telnet_decoder', 2, 200)


def main():
    parse_reply()
    ini()
    tag_file()
    project_config()
    parameter_file()
    display_update()
    random_seeds('fuzz_port_receiver', 6, 300)
    random_seeds('fuzz_service_event', 6, 300)
    telnet_decoder()


if __name__ == '__main__':
    main()

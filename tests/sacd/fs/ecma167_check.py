#!/usr/bin/python3
# An ECMA-167 check of every UDF descriptor of an image, written from the standard alone: each
# descriptor reached from the anchors (the volume descriptor sequences, the integrity sequence,
# the File Set Descriptor and the whole directory tree) must have a valid tag checksum (3/7.2.3),
# a valid descriptor CRC (3/7.2.6) and the tag location it lies at (3/7.2.8; partition-relative
# inside the partition). Usage: ecma167_check.py IMAGE. Prints "verified N descriptors", or the
# first fault and exits 1.
import struct
import sys

SECTOR = 2048


def crc_ccitt(data):
    # x^16 + x^12 + x^5 + 1, initial value 0, most significant bit first.
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


class Checker:
    def __init__(self, image):
        self.image = image
        self.sectors = len(image) // SECTOR
        self.count = 0

    def fail(self, text):
        print(text)
        sys.exit(1)

    def tag(self, offset, expected_location, what, expected_id=None):
        raw = self.image[offset:offset + 16]
        if len(raw) < 16:
            self.fail('%s at byte %d: tag past the end of the image' % (what, offset))
        ident, _version, checksum, _reserved, _serial, crc, crc_len, location = struct.unpack('<HHBBHHHI', raw)
        if (sum(raw[0:4]) + sum(raw[5:16])) % 256 != checksum:
            self.fail('%s at byte %d: tag checksum wrong' % (what, offset))
        body = self.image[offset + 16:offset + 16 + crc_len]
        if len(body) < crc_len or crc_ccitt(body) != crc:
            self.fail('%s at byte %d: descriptor CRC wrong' % (what, offset))
        if location != expected_location:
            self.fail('%s at byte %d: tag location %d, expected %d' % (what, offset, location, expected_location))
        if expected_id is not None and ident != expected_id:
            self.fail('%s at byte %d: tag identifier %d, expected %d' % (what, offset, ident, expected_id))
        self.count += 1
        return ident

    def u32(self, offset):
        return struct.unpack_from('<I', self.image, offset)[0]

    def u16(self, offset):
        return struct.unpack_from('<H', self.image, offset)[0]

    def anchors(self):
        found = []
        for lsn in (256, self.sectors - 256, self.sectors - 1):
            offset = lsn * SECTOR
            if lsn < 0 or self.u16(offset) != 2:
                continue
            self.tag(offset, lsn, 'anchor at sector %d' % lsn, 2)
            found.append((self.u32(offset + 16), self.u32(offset + 20), self.u32(offset + 24), self.u32(offset + 28)))
        if not found or found[0] != (self.u32(256 * SECTOR + 16), self.u32(256 * SECTOR + 20),
                                     self.u32(256 * SECTOR + 24), self.u32(256 * SECTOR + 28)):
            self.fail('no valid anchor at sector 256')
        if len(found) < 2:
            self.fail('fewer than two anchors')
        if any(a != found[0] for a in found):
            self.fail('the anchors disagree')
        return found[0]

    def sequence(self, length, location, what):
        found = {}
        for i in range(length // SECTOR):
            lsn = location + i
            offset = lsn * SECTOR
            if self.u16(offset) == 0:
                break
            ident = self.tag(offset, lsn, '%s descriptor at sector %d' % (what, lsn))
            found.setdefault(ident, []).append(offset)
            if ident == 8:
                break
        return found

    def walk(self, start, block, depth):
        if depth > 32:
            self.fail('directory tree deeper than 32')
        offset = (start + block) * SECTOR
        self.tag(offset, block, 'File Entry at partition block %d' % block, 261)
        file_type = self.image[offset + 27]
        ad_type = self.u16(offset + 34) & 7
        l_ea, l_ad = self.u32(offset + 168), self.u32(offset + 172)
        size = 8 if ad_type == 0 else 16
        extents = []
        for at in range(offset + 176 + l_ea, offset + 176 + l_ea + l_ad, size):
            length = self.u32(at) & 0x3FFFFFFF
            if length:
                extents.append((self.u32(at + 4), length))
        if file_type != 4:
            return
        data = b''.join(self.image[(start + loc) * SECTOR:(start + loc) * SECTOR + n] for loc, n in extents)
        positions = []
        for loc, n in extents:
            positions.extend(range((start + loc) * SECTOR, (start + loc) * SECTOR + n))
        info_length = struct.unpack_from('<Q', self.image, offset + 56)[0]
        pos = 0
        while pos + 38 <= info_length:
            x = positions[pos]
            self.tag(x, x // SECTOR - start, 'FID at byte %d' % x, 257)
            characteristics, l_fi = self.image[x + 18], self.image[x + 19]
            icb = self.u32(x + 24)
            l_iu = self.u16(x + 36)
            pos += (38 + l_iu + l_fi + 3) // 4 * 4
            if characteristics & 0x08:  # parent
                continue
            self.walk(start, icb, depth + 1)

    def run(self):
        main_len, main_loc, reserve_len, reserve_loc = self.anchors()
        main = self.sequence(main_len, main_loc, 'main sequence')
        if reserve_len:
            self.sequence(reserve_len, reserve_loc, 'reserve sequence')
        if len(main.get(5, [])) != 1 or len(main.get(6, [])) != 1:
            self.fail('main sequence needs one Partition Descriptor and one Logical Volume Descriptor')
        pd, lvd = main[5][0], main[6][0]
        start = self.u32(pd + 188)
        integrity_len, integrity_loc = self.u32(lvd + 432), self.u32(lvd + 436)
        if integrity_len:
            self.sequence(integrity_len, integrity_loc, 'integrity sequence')
        fsd_block = self.u32(lvd + 252)
        fsd = (start + fsd_block) * SECTOR
        self.tag(fsd, fsd_block, 'File Set Descriptor', 256)
        self.walk(start, self.u32(fsd + 404), 0)
        print('verified %d descriptors' % self.count)


def main():
    with open(sys.argv[1], 'rb') as f:
        Checker(f.read()).run()


if __name__ == '__main__':
    main()

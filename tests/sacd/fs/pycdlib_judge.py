#!/usr/bin/python3
# pycdlib as an independent judge of an image's bridge: lists every file of the ISO 9660 view and
# of the UDF view with its size, and extracts each into OUT/iso/... and OUT/udf/....
# Usage: pycdlib_judge.py IMAGE OUT
# Output lines: "iso /PATH SIZE" and "udf /PATH SIZE", SIZE being the length pycdlib's record
# gives; ISO 9660 version suffixes are cut.
import os
import sys

import pycdlib


def main():
    image, out = sys.argv[1], sys.argv[2]
    iso = pycdlib.PyCdlib()
    iso.open(image)
    try:
        views = [('iso', 'iso_path')]
        if iso.has_udf():
            views.append(('udf', 'udf_path'))
        for view, key in views:
            for root, _dirs, files in iso.walk(**{key: '/'}):
                for name in files:
                    path = root.rstrip('/') + '/' + name
                    shown = path.rsplit(';', 1)[0] if view == 'iso' else path
                    target = os.path.join(out, view) + shown
                    os.makedirs(os.path.dirname(target), exist_ok=True)
                    with open(target, 'wb') as f:
                        iso.get_file_from_iso_fp(f, **{key: path})
                    print(view, shown, iso.get_record(**{key: path}).get_data_length())
    finally:
        iso.close()


if __name__ == '__main__':
    main()

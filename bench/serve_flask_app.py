"""The thumbnail page as a Python site would write it: Flask and Pillow, for bench/serve_vs_flask.sh.

Run under gunicorn from the bench folder: PHOTOS=/path/to/photos gunicorn serve_flask_app:app

/thumb decodes the whole photo and resizes it (Image.resize), the common way; /thumb-draft uses
Image.thumbnail, which lets the JPEG decoder scale down by 1/2, 1/4 or 1/8 while decoding.
"""

import io
import os

from flask import Flask, abort, request, send_file, send_from_directory
from PIL import Image

PHOTOS = os.environ.get("PHOTOS", "photos")
app = Flask(__name__)


def thumbnail(draft):
    name = os.path.basename(request.args.get("src", ""))
    width = max(16, min(1024, request.args.get("w", 200, type=int)))
    path = os.path.join(PHOTOS, name)
    if not os.path.isfile(path):
        abort(404)
    with Image.open(path) as image:
        if draft:
            image.thumbnail((width, 100000))
            small = image.convert("RGB")
        else:
            height = max(1, round(image.height * width / image.width))
            small = image.convert("RGB").resize((width, height), Image.BICUBIC)
    out = io.BytesIO()
    small.save(out, "JPEG", quality=80)
    out.seek(0)
    response = send_file(out, mimetype="image/jpeg")
    response.headers["Cache-Control"] = "public, max-age=86400"
    return response


@app.route("/thumb")
def thumb():
    return thumbnail(False)


@app.route("/thumb-draft")
def thumb_draft():
    return thumbnail(True)


@app.route("/photos/<path:name>")
def photo(name):
    return send_from_directory(PHOTOS, name)

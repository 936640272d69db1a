// Records the microphone inside Brelta's hidden recorder page and hands the encoded audio to the
// application, chunk by chunk, through the web channel object "webViewAudioRecorder".
//
// Messages posted to the application (one argument of the object's post() slot):
//   {event: "data-available", recordingId, sequence, data}     the next chunk of the recording, in base64
//   {event: "data-available", recordingId, sequence?, error}   the recording failed; `error` says why
//   {event: "call-finished", callId, value} / {..., error}      how a call made through breltaPageCall ended
// Chunks of one recording are numbered from 0 and posted strictly in order.
//
// Runs after qwebchannel.js, in the page's own world.
(function () {
    'use strict';

    const HANDLER = 'webViewAudioRecorder';
    const SLICE_MS = 1000;

    let bridge = null;
    const waiting = []; // posted before the channel was up

    function post(message) {
        if (bridge)
            bridge.post(message);
        else
            waiting.push(message);
    }

    new QWebChannel(qt.webChannelTransport, function (channel) {
        bridge = channel.objects[HANDLER];
        for (const message of waiting.splice(0))
            bridge.post(message);
    });

    function describe(error) {
        if (error && error.name && error.message)
            return error.name + ': ' + error.message;
        return String(error);
    }

    function setStatus(text) {
        const status = document.getElementById('status');
        if (status)
            status.textContent = 'status: ' + text;
    }

    // Our canceller works on the raw microphone: the browser's own processing only bends the signal it
    // has to compare with what the speakers played. Uncompressed where the browser can, else Opus at a
    // rate that keeps the voice intact.
    function recorderOptions() {
        if (MediaRecorder.isTypeSupported('audio/webm;codecs=pcm'))
            return {mimeType: 'audio/webm;codecs=pcm'};
        return {mimeType: 'audio/webm;codecs=opus', audioBitsPerSecond: 128000};
    }

    function toBase64(blob) {
        return new Promise(function (resolve, reject) {
            const reader = new FileReader();
            reader.onload = function () {
                const url = String(reader.result);
                resolve(url.slice(url.indexOf(',') + 1));
            };
            reader.onerror = function () { reject(reader.error); };
            reader.readAsDataURL(blob);
        });
    }

    let current = null;

    function fail(recording, text) {
        if (recording.failed)
            return;
        recording.failed = true;
        setStatus('failed');
        post({event: 'data-available', recordingId: recording.id, error: text});
    }

    window.startRecording = async function (postEventOnDataAvailable, recordingId) {
        if (current)
            throw new Error('a recording is already running');
        const stream = await navigator.mediaDevices.getUserMedia({
            audio: {echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: 1},
            video: false,
        });
        let recorder;
        try {
            recorder = new MediaRecorder(stream, recorderOptions());
        } catch (error) {
            stream.getTracks().forEach(function (track) { track.stop(); });
            throw error;
        }
        const recording = {
            id: recordingId === undefined ? '' : String(recordingId),
            recorder: recorder,
            stream: stream,
            posts: postEventOnDataAvailable === true,
            sequence: 0,
            chain: Promise.resolve(), // chunks are encoded asynchronously: keep their order
            failed: false,
        };
        recorder.ondataavailable = function (event) {
            if (!recording.posts)
                return;
            const sequence = recording.sequence++;
            recording.chain = recording.chain
                .then(function () { return toBase64(event.data); })
                .then(function (data) {
                    post({event: 'data-available', recordingId: recording.id, sequence: sequence, data: data});
                })
                .catch(function (error) { fail(recording, 'cannot read chunk ' + sequence + ': ' + describe(error)); });
        };
        recorder.onerror = function (event) { fail(recording, 'MediaRecorder: ' + describe(event.error)); };
        stream.getAudioTracks().forEach(function (track) {
            track.onended = function () { fail(recording, 'the microphone went away'); };
        });
        const startedAt = await new Promise(function (resolve, reject) {
            recorder.onstart = function () { resolve(Date.now()); };
            try {
                recorder.start(SLICE_MS);
            } catch (error) {
                stream.getTracks().forEach(function (track) { track.stop(); });
                reject(error);
            }
        });
        current = recording;
        setStatus('recording');
        return {recordingId: recording.id, startedAt: startedAt, mimeType: recorder.mimeType};
    };

    window.stopRecording = async function () {
        const recording = current;
        if (!recording)
            throw new Error('no recording is running');
        current = null;
        if (recording.recorder.state !== 'inactive') {
            // The last chunk comes before the stop event.
            await new Promise(function (resolve) {
                recording.recorder.onstop = function () { resolve(); };
                recording.recorder.stop();
            });
        }
        recording.stream.getTracks().forEach(function (track) { track.stop(); });
        await recording.chain;
        setStatus('idle');
        return {recordingId: recording.id, chunks: recording.sequence};
    };

    window.pauseRecording = function () {
        if (!current)
            throw new Error('no recording is running');
        current.recorder.pause();
        setStatus('paused');
        return {recordingId: current.id};
    };

    window.resumeRecording = function () {
        if (!current)
            throw new Error('no recording is running');
        current.recorder.resume();
        setStatus('recording');
        return {recordingId: current.id};
    };

    // Runs `body` and posts how it ended, once its promise (if any) has settled: the application cannot
    // await a promise through runJavaScript.
    window.breltaPageCall = function (callId, body) {
        Promise.resolve()
            .then(body)
            .then(function (value) {
                post({event: 'call-finished', callId: callId, value: value === undefined ? null : value});
            }, function (error) {
                post({event: 'call-finished', callId: callId, error: describe(error)});
            });
        return true;
    };
})();

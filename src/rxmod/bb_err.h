/* Result codes of every receiver operation: 0 success, negative failure. */
#ifndef RXMOD_BB_ERR_H
#define RXMOD_BB_ERR_H

#define BB_SUCCESS 0
#define BB_ERR_GENERIC (-1)
#define BB_ERR_INVALID_PARAM (-4)
#define BB_ERR_NO_DEVICE (-10)
#define BB_ERR_BB_ID (-11)
#define BB_ERR_TUNER_ID (-12)
#define BB_ERR_NOT_SUPPORTED (-14)
#define BB_ERR_NOT_LOCKED (-20)
#define BB_ERR_NO_DATA (-21)
#define BB_ERR_TABLE_FULL (-22)
#define BB_ERR_NO_CHANNEL (-23)
#define BB_ERR_RX_QUEUE_OVERRUN (-25)
#define BB_ERR_NO_SERVICE_FOUND (-40)
#define BB_ERR_SERVICE (-206) /* towards the terminal */

#endif
